#include "archive/Zip.h"

#include "common/Codepage.h"
#include "common/Crc32.h"
#include "common/Errors.h"
#include "common/Fd.h"
#include "common/Fileio.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace volm {

namespace {

constexpr size_t kOutChunk = 131070;    // the archive is written in chunks of this size
constexpr size_t kInChunk = 65536;      // source files are read in chunks of this size
constexpr uint64_t kSmallFile = 256;    // up to this size a file is deflated in memory first
constexpr uint64_t kMax32 = 0xFFFFFFFFu;

bool diskFull(int err)
{
    return err == ENOSPC || err == EFBIG || err == EDQUOT;
}

// Reads up to `n` bytes, fewer only at the end of the file; -1 on failure.
ssize_t readSome(int fd, uint8_t* p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd, p + got, n - got);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (r == 0)
            break;
        got += static_cast<size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

bool isDir(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The attribute bits of a file on this system.
uint32_t attributeBits(const std::string& name, const struct stat& st)
{
    uint32_t a = S_ISDIR(st.st_mode) ? 0x10 : 0x20;
    if ((st.st_mode & 0222) == 0)
        a |= 0x01;
    if (!name.empty() && name[0] == '.')
        a |= 0x02;
    return a;
}

bool attrsHit(const TFileAttrs& set, uint32_t bits)
{
    static constexpr std::pair<TFileAttr, uint32_t> kBits[] = {
        {fsReadOnly, 0x01}, {fsHidden, 0x02}, {fsSysFile, 0x04}, {fsVolumeID, 0x08},
        {fsDirectory, 0x10}, {fsArchive, 0x20}, {fsCompressed, 0x800}, {fsEncrypted, 0x4000},
    };
    if (set.count(fsZeroAttr) && (bits & ~0x80u) == 0)
        return true;
    for (auto [attr, bit] : kBits)
        if (set.count(attr) && (bits & bit))
            return true;
    return false;
}

// A file-name mask test: a name without "." is also tried with one appended,
// so "*.*" and "*." select names without an extension.
bool nameMatches(const std::string& mask, const std::string& name)
{
    if (wildcardMatch(mask, name))
        return true;
    return name.find('.') == std::string::npos && wildcardMatch(mask, name + '.');
}

} // namespace

// The temporary archive: written in chunks of kOutChunk bytes, with headers
// patched in place and entries rolled back when a source fails.
class TCompBase::TOutput {
public:
    explicit TOutput(int fd) : fd_(fd) { buf_.reserve(kOutChunk); }

    uint64_t position() const { return flushed_ + buf_.size(); }
    int error() const { return err_; }

    bool write(const void* data, size_t n)
    {
        auto* p = static_cast<const uint8_t*>(data);
        while (n > 0) {
            size_t room = kOutChunk - buf_.size();
            size_t take = std::min(room, n);
            buf_.insert(buf_.end(), p, p + take);
            p += take;
            n -= take;
            if (buf_.size() == kOutChunk && !flush())
                return false;
        }
        return true;
    }

    bool flush()
    {
        if (buf_.empty())
            return true;
        if (!WriteAll(fd_, buf_.data(), buf_.size())) {
            err_ = errno;
            return false;
        }
        flushed_ += buf_.size();
        buf_.clear();
        return true;
    }

    // Overwrites bytes already written (a header rewritten in place).
    bool patch(uint64_t offset, const uint8_t* p, size_t n)
    {
        while (n > 0 && offset < flushed_) {
            size_t part = static_cast<size_t>(std::min<uint64_t>(n, flushed_ - offset));
            ssize_t w = ::pwrite(fd_, p, part, static_cast<off_t>(offset));
            if (w <= 0) {
                if (w < 0 && errno == EINTR)
                    continue;
                err_ = w < 0 ? errno : ENOSPC;
                return false;
            }
            offset += static_cast<uint64_t>(w);
            p += w;
            n -= static_cast<size_t>(w);
        }
        if (n > 0)
            std::memcpy(buf_.data() + (offset - flushed_), p, n);
        return true;
    }

    // Drops everything from `offset` on (an entry whose source failed).
    bool truncateTo(uint64_t offset)
    {
        if (offset >= flushed_) {
            buf_.resize(static_cast<size_t>(offset - flushed_));
            return true;
        }
        buf_.clear();
        if (::ftruncate(fd_, static_cast<off_t>(offset)) != 0 ||
            ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
            err_ = errno;
            return false;
        }
        flushed_ = offset;
        return true;
    }

private:
    int fd_;
    std::vector<uint8_t> buf_;
    uint64_t flushed_ = 0;
    int err_ = 0;
};

void TCompBase::SetDefaultExt(const std::string& ext)
{
    std::string e = (!ext.empty() && ext[0] == '.') ? ext : "." + ext;
    if (e.size() > 4)
        e.resize(4);
    defaultExt_ = asciiLower(e);
}

void TCompBase::SetArchiveFile(const std::string& path)
{
    archiveFile_ = slashPath(path);
    if (!archiveFile_.empty() && archiveFile_.back() != '/' && FileExtension(archiveFile_).empty())
        archiveFile_ += defaultExt_;
}

int TCompBase::Compress()
{
    resetArchive();
    resetFailures();

    // The target's folder must exist.
    std::string targetFolder = folderPart(archiveFile_);
    if (archiveFile_.empty() || namePart(archiveFile_).empty() ||
        !isDir(targetFolder.empty() ? "." : targetFolder)) {
        reportError(targetFolder, zeInvalidDir);
        return 0;
    }

    // The archive is built in a temporary file outside the scanned folder and
    // put in place through the safe-write path: the target name never holds a
    // partial archive.
    std::string tempDir = slashPath(TempDir);
    if (tempDir.empty() || !isDir(tempDir)) {
        const char* env = std::getenv("TMPDIR");
        tempDir = env && *env ? env : "/tmp";
        ::mkdir(tempDir.c_str(), 0777);
    }
    TSafeWriteOptions tempOptions;
    tempOptions.tempFolder = tempDir;
    std::unique_ptr<TSafeFile> temp;
    try {
        temp = std::make_unique<TSafeFile>(archiveFile_, tempOptions);
    } catch (const EFileError& e) {
        reportError(e.path(), zeOpen, systemMessage(e.code()));
        return 0;
    }
    struct stat tempSt {}, targetSt {};
    ::fstat(temp->Fd(), &tempSt);
    bool targetExists = ::stat(archiveFile_.c_str(), &targetSt) == 0;

    // The masks: the folder of the first one is the scan root; masks of the
    // same folder are taken together.
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const std::string& raw : FileSpec) {
        if (raw.empty())
            continue;
        std::string mask = slashPath(raw);
        std::string folder = folderPart(mask), name = namePart(mask);
        if (name.empty() || name == "*.*")
            name = std::string(1, '*');
        auto g = std::find_if(groups.begin(), groups.end(), [&](auto& x) { return x.first == folder; });
        if (g == groups.end())
            groups.push_back({folder, {name}});
        else
            g->second.push_back(name);
    }
    std::string base = groups.empty() ? std::string() : groups.front().first;

    std::vector<TSource> sources;
    std::function<void(const std::string&, const std::vector<std::string>&)> scan;
    scan = [&](const std::string& dir, const std::vector<std::string>& masks) {
        DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
        if (!d)
            return;
        while (struct dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            std::string full = dir + name;
            progress(psScan, full);
            struct stat st {};
            if (::lstat(full.c_str(), &st) != 0)
                continue;
            bool link = S_ISLNK(st.st_mode);
            if (link && ::stat(full.c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                // Depth first: the folder is scanned before the listing goes on.
                // Linked folders are not followed (they could loop).
                if (!link && RecurseDirs && (name[0] != '.' || IncludeHiddenDirs))
                    scan(full + '/', masks);
                continue;
            }
            if (!S_ISREG(st.st_mode))
                continue;
            // Never the archive being built, nor the target itself.
            if ((st.st_dev == tempSt.st_dev && st.st_ino == tempSt.st_ino) ||
                (targetExists && st.st_dev == targetSt.st_dev && st.st_ino == targetSt.st_ino))
                continue;
            uint32_t attrs = attributeBits(name, st);
            if (!attrsHit(Attributes, attrs) || (!AttributesEx.empty() && attrsHit(AttributesEx, attrs)))
                continue;
            if (std::none_of(masks.begin(), masks.end(), [&](auto& m) { return nameMatches(m, name); }))
                continue;
            TSource src;
            src.path = full;
            switch (StoredDirNames) {
            case sdRelative:
                src.name = full.compare(0, base.size(), base) == 0 ? full.substr(base.size()) : full;
                break;
            case sdAbsolute: src.name = full; break;
            case sdNone: src.name = name; break;
            }
            while (!src.name.empty() && src.name[0] == '/')
                src.name.erase(0, 1);
            bool excluded = false;
            for (const std::string& x : ExcludeSpec) {
                std::string m = slashPath(x);
                if (!m.empty() && (nameMatches(m, name) || nameMatches(m, src.name)))
                    excluded = true;
            }
            if (excluded)
                continue;
            src.size = static_cast<uint64_t>(st.st_size);
            src.attrs = attrs;
            src.mtime = st.st_mtime;
            sources.push_back(std::move(src));
        }
        ::closedir(d);
    };
    for (auto& [folder, masks] : groups)
        scan(folder, masks);

    time_t maxTime = 0;
    for (const TSource& s : sources)
        maxTime = std::max(maxTime, s.mtime);

    TOutput out(temp->Fd());
    int packed = 0;
    std::vector<std::string> toDelete;
    for (const TSource& src : sources) {
        progress(psPack, src.path);
        int before = packed;
        if (!packFile(out, src, packed, maxTime))
            return 0;
        if (packed > before && Switch == swMove)
            toDelete.push_back(src.path);
    }
    if (packed == 0) {
        if (sources.empty())
            reportError(archiveFile_, zeNothingToDo);
        return 0;
    }
    if (!closeArchive(out))
        return 0;
    try {
        temp->Commit();
    } catch (const EFileError& e) {
        int err = e.code();
        reportError(archiveFile_, diskFull(err) ? zeDiskFull : err == EIO ? zeWrite : zeOpen,
                    systemMessage(err));
        return 0;
    }

    // Moving the sources: only once the archive is in place. A file that
    // cannot be deleted stays, silently; folders are never removed.
    struct stat finalSt {};
    if (Switch == swMove && ::stat(archiveFile_.c_str(), &finalSt) == 0)
        for (const std::string& p : toDelete)
            ::unlink(p.c_str());
    return packed;
}

struct TZipBase::TDeflater {
    z_stream zs{};
    int level = 0;
    bool ready = false;
    ~TDeflater()
    {
        if (ready)
            deflateEnd(&zs);
    }
    // A raw deflate stream at `level`, reset for a new file.
    z_stream* start(int newLevel)
    {
        if (ready && level != newLevel) {
            deflateEnd(&zs);
            ready = false;
        }
        if (!ready) {
            zs = z_stream{};
            if (deflateInit2(&zs, newLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
                return nullptr;
            ready = true;
            level = newLevel;
        } else if (deflateReset(&zs) != Z_OK) {
            return nullptr;
        }
        return &zs;
    }
};

TZipBase::TZipBase() : deflater_(std::make_unique<TDeflater>()) {}
TZipBase::~TZipBase() = default;

bool TZipBase::packFile(TOutput& out, const TSource& src, int& packed, time_t maxTime)
{
    auto failWrite = [&] {
        int err = out.error();
        reportError(archiveFile_, diskFull(err) ? zeDiskFull : zeWrite, systemMessage(err));
        return false;
    };
    auto tooLarge = [&] {
        reportError(archiveFile_, zeWrite, "The archive would exceed 4 GiB");
        return false;
    };

    TFd in(::open(src.path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0) {
        reportError(src.path, zeOpen, systemMessage(errno));
        return true;
    }
    std::string name = TranslateOemChar ? ansiToOem(src.name) : src.name;
    if (name.empty() || name.size() > 0xFFFF) {
        reportError(src.path, zeOpen, "The name cannot be stored");
        return true;
    }

    const TDeflateType type = MemberDeflateType(src.name);
    int level = 0;
    uint16_t typeFlags = 0;
    switch (type) {
    case dtDeflateS: break;
    case dtDeflateF: level = 1, typeFlags = 0x0004; break;
    case dtDeflateN: level = Z_DEFAULT_COMPRESSION; break;
    case dtDeflateX: level = 9, typeFlags = 0x0002; break;
    }

    zip::TCentralHeader h;
    h.versionMadeBy = 20;
    h.versionNeeded = 20;
    switch (DateAttribute) {
    case daSysDate: h.dosDateTime = toDosDateTime(::time(nullptr)); break;
    case daFileDate: h.dosDateTime = toDosDateTime(src.mtime); break;
    case daMaxFileDate: h.dosDateTime = toDosDateTime(maxTime); break;
    }
    h.nameLength = static_cast<uint16_t>(name.size());
    h.internalAttr = 1;
    h.externalAttr = src.attrs & (0x01 | 0x02 | 0x04 | 0x08 | 0x10 | 0x20 | 0x80 | 0x4000);
    h.localOffset = out.position();
    if (h.localOffset > kMax32)
        return tooLarge();

    // A provisional local header, completed in place once the data is written.
    std::vector<uint8_t> head(zip::kLocalSize + name.size());
    h.writeLocal(head.data());
    std::memcpy(head.data() + zip::kLocalSize, name.data(), name.size());
    if (!out.write(head.data(), head.size()))
        return failWrite();

    TCrc32 crc;
    uint64_t inSize = 0, outSize = 0;
    std::vector<uint8_t>& buf = inBuf_;
    buf.resize(kInChunk);
    bool readFailed = false;
    int readErr = 0;
    // Reads up to `want` bytes of the file into `buf`; false (the failure
    // kept for the report) when reading fails.
    size_t n = 0;
    auto readNext = [&](size_t want) {
        ssize_t r = readSome(in.get(), buf.data(), want);
        if (r < 0) {
            readFailed = true;
            readErr = errno;
            return false;
        }
        n = static_cast<size_t>(r);
        return true;
    };

    // The first 257 bytes tell a small file from a large one.
    if (!readNext(kSmallFile + 1)) {
        // reported below, once the entry is dropped again
    } else if (type == dtDeflateS) {
        while (n > 0) {
            crc.update(buf.data(), n);
            inSize += n;
            if (!out.write(buf.data(), n))
                return failWrite();
            progress(psPack, src.path);
            if (!readNext(buf.size()))
                break;
        }
        outSize = inSize;
        h.method = 0;
    } else if (n <= kSmallFile) {
        // Small: deflated in memory, and stored when that would not shrink it.
        crc.update(buf.data(), n);
        inSize = n;
        uint8_t packedBytes[2 * kSmallFile + 64];
        z_stream* zs = deflater_->start(level);
        if (!zs) {
            reportError(src.path, zeWrite, "Out of memory");
            return false;
        }
        zs->next_in = buf.data();
        zs->avail_in = static_cast<uInt>(n);
        zs->next_out = packedBytes;
        zs->avail_out = sizeof packedBytes;
        deflate(zs, Z_FINISH);
        size_t packedSize = sizeof packedBytes - zs->avail_out;
        if (packedSize > n) {
            h.method = 0;
            outSize = n;
            if (!out.write(buf.data(), n))
                return failWrite();
        } else {
            h.method = 8;
            h.flags = typeFlags;
            outSize = packedSize;
            if (!out.write(packedBytes, packedSize))
                return failWrite();
        }
    } else {
        // Large: deflated straight into the archive, whatever the result.
        h.method = 8;
        h.flags = typeFlags;
        z_stream* zsp = deflater_->start(level);
        if (!zsp) {
            reportError(src.path, zeWrite, "Out of memory");
            return false;
        }
        z_stream& zs = *zsp;
        std::vector<uint8_t>& obuf = outBuf_;
        obuf.resize(kOutChunk);
        bool eof = false;
        for (;;) {
            crc.update(buf.data(), n);
            inSize += n;
            zs.next_in = buf.data();
            zs.avail_in = static_cast<uInt>(n);
            int flush = eof ? Z_FINISH : Z_NO_FLUSH;
            int ret;
            do {
                zs.next_out = obuf.data();
                zs.avail_out = static_cast<uInt>(obuf.size());
                ret = deflate(&zs, flush);
                size_t have = obuf.size() - zs.avail_out;
                outSize += have;
                if (have && !out.write(obuf.data(), have))
                    return failWrite();
            } while (zs.avail_out == 0 || (flush == Z_FINISH && ret != Z_STREAM_END));
            if (eof)
                break;
            progress(psPack, src.path);
            if (!readNext(buf.size()))
                break;
            eof = n < buf.size();
        }
    }

    if (readFailed) {
        // The entry is dropped again; the file is not packed and so not deleted.
        reportError(src.path, zeOpen, systemMessage(readErr));
        if (!out.truncateTo(h.localOffset))
            return failWrite();
        return true;
    }
    if (inSize > kMax32 || outSize > kMax32 || out.position() > kMax32)
        return tooLarge();

    h.crc = inSize == 0 ? 0 : crc.value();
    h.compressedSize = outSize;
    h.uncompressedSize = inSize;
    h.writeLocal(head.data());
    if (!out.patch(h.localOffset, head.data(), head.size()))
        return failWrite();
    central_.push_back({h, name});
    ++packed;
    return true;
}

bool TZipBase::closeArchive(TOutput& out)
{
    auto fail = [&](const std::string& why) {
        reportError(archiveFile_, zeWrite, why);
        return false;
    };
    if (central_.size() > 0xFFFF)
        return fail("Too many files for one archive");
    uint64_t cdStart = out.position();
    uint8_t rec[zip::kCentralSize];
    for (const TEntry& e : central_) {
        e.header.write(rec);
        if (!out.write(rec, sizeof rec) || !out.write(e.name.data(), e.name.size()))
            return fail(systemMessage(out.error()));
    }
    uint64_t cdSize = out.position() - cdStart;
    if (cdStart > kMax32 || cdSize > kMax32)
        return fail("The archive would exceed 4 GiB");
    uint8_t end[zip::kEndSize];
    zip::writeEnd(end, static_cast<uint16_t>(central_.size()), static_cast<uint32_t>(cdSize),
                  static_cast<uint32_t>(cdStart));
    if (!out.write(end, sizeof end) || !out.flush())
        return fail(systemMessage(out.error()));
    return true;
}

TJar::TJar()
{
    SetDefaultExt(".jar");
    CompressMethod = cmDeflate;
    arcType_ = atJar;
}

} // namespace volm
