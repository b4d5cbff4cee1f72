#include "archive/Unzip.h"

#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "common/Crc32.h"
#include "common/Errors.h"
#include "common/Fd.h"
#include "common/Fileio.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace volm {

namespace {

constexpr size_t kChunk = 32768;       // decoded data moves in chunks of this size
constexpr size_t kMaxName = 255;       // longer member names are cut

bool hasExtension(const std::string& path, const char* ext)
{
    std::string name = namePart(path);
    size_t dot = name.find_last_of('.');
    return dot != std::string::npos && sameText(name.substr(dot), ext);
}

// The stored value passes in its finished or its un-complemented form.
bool crcMatches(uint32_t stored, const TCrc32& crc)
{
    return stored == crc.value() || stored == crc.raw();
}

} // namespace

struct TUnZip::TInflater {
    z_stream zs{};
    bool ready = false;
    std::vector<uint8_t> in = std::vector<uint8_t>(kChunk), out = std::vector<uint8_t>(kChunk);
    ~TInflater()
    {
        if (ready)
            inflateEnd(&zs);
    }
    // A raw inflate stream, reset for a new member.
    z_stream* start()
    {
        if (ready) {
            // Input left over from the last member must not leak into this one.
            zs.next_in = nullptr;
            zs.avail_in = 0;
            return inflateReset(&zs) == Z_OK ? &zs : nullptr;
        }
        zs = z_stream{};
        if (inflateInit2(&zs, -MAX_WBITS) != Z_OK)
            return nullptr;
        ready = true;
        return &zs;
    }
};

TUnZip::TUnZip() : inflater_(std::make_unique<TInflater>()) {}
TUnZip::~TUnZip() = default;

void TUnBase::SetArchiveFile(const std::string& path)
{
    arcType_ = atNA;
    data_ = {};
    inMemory_ = false;
    std::string p = slashPath(path);
    struct stat st {};
    if (p.empty() || ::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        archiveFile_.clear();
        return;
    }
    archiveFile_ = p;
    examine();
}

void TUnBase::SetArchiveData(std::span<const uint8_t> data, const std::string& name)
{
    arcType_ = atNA;
    data_ = data;
    inMemory_ = true;
    archiveFile_ = slashPath(name);
    examine();
}

void TUnBase::SetExtractDir(const std::string& path)
{
    std::string p = slashPath(path);
    if (!p.empty() && p.back() != '/')
        p += '/';
    extractDir_ = folderPart(p);
}

bool TUnZip::readAt(int fd, uint64_t pos, void* buf, size_t len) const
{
    if (inMemory_) {
        if (pos > data_.size() || len > data_.size() - pos)
            return false;
        std::memcpy(buf, data_.data() + pos, len);
        return true;
    }
    auto* p = static_cast<uint8_t*>(buf);
    while (len > 0) {
        ssize_t r = ::pread(fd, p, len, static_cast<off_t>(pos));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r;
        pos += static_cast<uint64_t>(r);
        len -= static_cast<size_t>(r);
    }
    return true;
}

void TUnZip::examine()
{
    arcType_ = atNA;
    TFd fd(inMemory_ ? -1 : ::open(archiveFile_.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!inMemory_ && (fd.get() < 0 || ::fstat(fd.get(), &st) != 0))
        return;
    uint64_t size = inMemory_ ? data_.size() : static_cast<uint64_t>(st.st_size);
    if (size <= 19)
        return;
    // The end record lies in the last 32 KiB; the first signature found
    // scanning backwards from the end is taken.
    size_t n = size <= kChunk ? static_cast<size_t>(size - 1) : kChunk;
    if (n < zip::kEndSize)
        return;
    std::vector<uint8_t> tail(n);
    if (!readAt(fd.get(), size - n, tail.data(), n))
        return;
    for (size_t i = n - zip::kEndSize + 1; i-- > 0;) {
        if (get32(&tail[i]) != zip::kEndSig)
            continue;
        uint64_t endPos = size - n + i;
        uint64_t cdSize = get32(&tail[i + 12]);
        // The directory ends where the end records begin: with a ZIP64
        // locator right before the end record, at the ZIP64 end record,
        // whose directory size counts.
        uint64_t cdEnd = endPos;
        uint8_t loc[zip::kZip64LocatorSize];
        if (endPos >= zip::kZip64LocatorSize + zip::kZip64EndSize &&
            readAt(fd.get(), endPos - zip::kZip64LocatorSize, loc, sizeof loc) && get32(loc) == zip::kZip64LocatorSig) {
            const uint64_t locPos = endPos - zip::kZip64LocatorSize;
            // Where the locator says the record is, or (in an archive with
            // data in front) right before the locator, when it has no
            // extensible data.
            uint8_t rec[zip::kZip64EndSize];
            uint64_t at = get64(loc + 8);
            bool found = at <= locPos - zip::kZip64EndSize && readAt(fd.get(), at, rec, sizeof rec) &&
                         get32(rec) == zip::kZip64EndSig && get64(rec + 4) == locPos - at - 12;
            if (!found) {
                at = locPos - zip::kZip64EndSize;
                found = readAt(fd.get(), at, rec, sizeof rec) && get32(rec) == zip::kZip64EndSig;
            }
            if (!found)
                return;
            cdEnd = at;
            cdSize = get64(rec + 40);
        }
        if (cdSize > cdEnd)
            return;
        // The directory is found from the end record's position and the
        // directory size; the stored directory offset is not used for it.
        uint64_t cdStart = cdEnd - cdSize;
        uint8_t sig[4];
        if (!readAt(fd.get(), cdStart, sig, 4) || get32(sig) != zip::kCentralSig)
            return;
        archiveSize_ = size;
        centralStart_ = cdStart;
        index_.clear();
        indexed_ = false;
        arcType_ = hasExtension(archiveFile_, ".jar") ? atJar : atZip;
        return;
    }
}

bool TUnZip::maskMatches(const std::string& rawMask, const std::string& name) const
{
    std::string mask = slashPath(rawMask);
    if (sameText(mask, name))
        return true;
    std::string maskFolder = folderPart(mask), maskName = namePart(mask);
    std::string nameFolder = folderPart(name), tested = namePart(name);
    if (RecurseDirs) {
        // A mask with a folder part selects members below that folder.
        if (!maskFolder.empty() &&
            !(nameFolder.size() >= maskFolder.size() &&
              sameText(nameFolder.substr(0, maskFolder.size()), maskFolder)))
            return false;
    } else if (!sameText(maskFolder, nameFolder)) {
        return false;
    }
    if (wildcardMatch(maskName, tested))
        return true;
    if (tested.find('.') == std::string::npos) {
        if (maskName.find('.') == std::string::npos)
            maskName += '.';
        return wildcardMatch(maskName, tested + '.');
    }
    return false;
}

bool TUnZip::Selected(const std::string& name) const
{
    bool selected = true;
    bool anyMask = false;
    for (const std::string& m : FileSpec) {
        if (m.empty())
            continue;
        if (!anyMask) {
            anyMask = true;
            selected = false;
        }
        if (maskMatches(m, name)) {
            selected = true;
            break;
        }
    }
    if (!selected)
        return false;
    for (const std::string& m : ExcludeSpec)
        if (!m.empty() && maskMatches(m, name))
            return false;
    return true;
}

std::string TUnZip::OutputPath(const std::string& extractDir, const std::string& memberName,
                               bool useStoredDirs)
{
    std::string name = memberName;
    if (name.find('\0') != std::string::npos)
        return {};
    // A drive prefix ("C:/" or "C:") or one leading separator is dropped.
    if (name.find(':') != std::string::npos) {
        size_t slash = name.find('/');
        name.erase(0, std::min(name.size(), size_t(slash == 2 ? 3 : 2)));
    } else if (!name.empty() && name[0] == '/') {
        name.erase(0, 1);
    }
    // Anything that still starts at the root, or climbs with "..", would
    // leave the extract folder.
    if (!name.empty() && name[0] == '/')
        return {};
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        // ".." climbs out; "." as a file's name would be the folder itself.
        if (name.compare(start, end - start, "..") == 0 || name.compare(start, end - start, ".") == 0)
            return {};
        start = end + 1;
    }
    std::string folder = extractDir;
    if (useStoredDirs)
        folder += folderPart(name);
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + namePart(name);
}

bool TUnZip::readEntry(int fd, uint64_t pos, zip::TCentralHeader& header, std::string& raw) const
{
    uint8_t hdr[zip::kCentralSize];
    if (!readAt(fd, pos, hdr, zip::kCentralSize) || get32(hdr) != zip::kCentralSig)
        return false;
    header = zip::TCentralHeader{};
    header.parse(hdr);
    const zip::TCentralHeader& h = header;
    raw.assign(h.nameLength, '\0');
    if (h.nameLength && !readAt(fd, pos + zip::kCentralSize, raw.data(), raw.size()))
        return false;
    if (raw.size() > kMaxName)
        raw.resize(kMaxName);
    // Sizes or offset too large for the header come from the ZIP64 extra record.
    if (h.extraLength &&
        (h.uncompressedSize == 0xFFFFFFFF || h.compressedSize == 0xFFFFFFFF || h.localOffset == 0xFFFFFFFF)) {
        std::vector<uint8_t> extra(h.extraLength);
        if (readAt(fd, pos + zip::kCentralSize + h.nameLength, extra.data(), extra.size())) {
            for (size_t e = 0; e + 4 <= extra.size();) {
                uint16_t id = get16(&extra[e]), len = get16(&extra[e + 2]);
                size_t q = e + 4, qend = std::min(extra.size(), q + len);
                if (id == 0x0001) {
                    auto take = [&](uint64_t& field) {
                        if (field != 0xFFFFFFFF || q + 8 > qend)
                            return;
                        field = get64(&extra[q]);
                        q += 8;
                    };
                    take(header.uncompressedSize);
                    take(header.compressedSize);
                    take(header.localOffset);
                    break;
                }
                e = q + len;
            }
        }
    }
    return true;
}

int TUnZip::Extract()
{
    resetFailures();
    if (archiveFile_.empty()) {
        reportError({}, zeNoFile);
        return 0;
    }
    TFd fd(inMemory_ ? -1 : ::open(archiveFile_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!inMemory_ && fd.get() < 0) {
        reportError(archiveFile_, zeOpen, systemMessage(errno));
        return 0;
    }
    if (arcType_ == atNA) {
        // The file exists but holds no central directory we can read.
        reportError(archiveFile_, zeBadHeader, "not a readable archive");
        return 0;
    }
    std::string extractDir = extractDir_.empty() ? folderPart(archiveFile_) : extractDir_;
    uint32_t maxDate = 0;
    std::vector<TItem> items = listItems(fd.get(), maxDate);
    int count = 0;
    for (const TItem& item : items) {
        progress(psExtract, item.name);
        extractItem(fd.get(), item, extractDir, maxDate, count);
    }
    return count;
}

std::vector<TExtractedMember> TUnZip::ExtractToMemory()
{
    resetFailures();
    std::vector<TExtractedMember> out;
    if (archiveFile_.empty() && !inMemory_) {
        reportError({}, zeNoFile);
        return out;
    }
    TFd fd(inMemory_ ? -1 : ::open(archiveFile_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!inMemory_ && fd.get() < 0) {
        reportError(archiveFile_, zeOpen, systemMessage(errno));
        return out;
    }
    if (arcType_ == atNA) {
        reportError(archiveFile_, zeBadHeader, "not a readable archive");
        return out;
    }
    uint32_t maxDate = 0;
    for (const TItem& item : listItems(fd.get(), maxDate)) {
        progress(psExtract, item.name);
        if (namePart(item.name).empty() || (arcType_ == atZip && (item.header.externalAttr & 0x10) != 0))
            continue;
        TExtractedMember m;
        m.name = item.name;
        uint64_t dataStart = 0;
        if (!readLocal(fd.get(), item.header, dataStart)) {
            reportError(item.name, zeBadHeader);
            continue;
        }
        TCrc32 crc;
        bool decoded = decodeItem(fd.get(), dataStart, item, [&](const uint8_t* p, size_t n) {
            crc.update(p, n);
            m.bytes.append(reinterpret_cast<const char*>(p), n);
        });
        if (!decoded)
            continue;
        if (!crcMatches(item.header.crc, crc)) {
            reportError(item.name, zeCrc);
            continue;
        }
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<TUnZip::TItem> TUnZip::listItems(int fd, uint32_t& maxDate)
{
    // One pass over the central directory builds the list of members.
    std::vector<TItem> items;
    uint64_t pos = centralStart_;
    std::string raw;
    TItem entry;
    while (readEntry(fd, pos, entry.header, raw)) {
        const zip::TCentralHeader& h = entry.header;
        // Names flagged as UTF-8 (general purpose bit 11, as the JDK's jar
        // and Python write non-ASCII names) are turned into the program's
        // code page ("_" for what it lacks: "?" is a mask's wildcard); the
        // others are in the OEM code page.
        std::string name;
        if (h.flags & 0x0800)
            name = TAnsiWriter(TAnsiFallback::Question, '_')(raw);
        else
            name = TranslateOemChar ? oemToAnsi(raw) : raw;
        entry.name = slashPath(name);
        if (Selected(entry.name)) {
            uint8_t sig[4];
            if (!readAt(fd, h.localOffset, sig, 4) || get32(sig) != zip::kLocalSig) {
                reportError(entry.name, zeBadHeader);
            } else {
                maxDate = std::max(maxDate, h.dosDateTime);
                items.push_back(entry);
            }
        }
        pos += zip::kCentralSize + h.nameLength + h.extraLength + h.commentLength;
        progress(psExtract, {});
    }

    return items;
}

bool TUnZip::readLocal(int fd, const zip::TCentralHeader& h, uint64_t& dataStart, uint32_t* dosDateTime) const
{
    uint8_t local[zip::kLocalSize];
    if (!readAt(fd, h.localOffset, local, sizeof local) || get32(local) != zip::kLocalSig)
        return false;
    dataStart = h.localOffset + zip::kLocalSize + get16(local + 26) + get16(local + 28);
    if (dosDateTime)
        *dosDateTime = (static_cast<uint32_t>(get16(local + 12)) << 16) | get16(local + 10);
    return true;
}

ssize_t TUnZip::readChunk(int fd, uint64_t pos, uint8_t* buf, size_t len) const
{
    if (inMemory_) {
        if (pos >= data_.size())
            return 0;
        size_t n = static_cast<size_t>(std::min<uint64_t>(len, data_.size() - pos));
        std::memcpy(buf, data_.data() + pos, n);
        return static_cast<ssize_t>(n);
    }
    return ::pread(fd, buf, len, static_cast<off_t>(pos));
}

TUnZip::TDecodeEnd TUnZip::decodeData(int fd, uint64_t dataStart, const TItem& item, uint64_t cap,
                                      const std::function<void(const uint8_t*, size_t)>& emit)
{
    const zip::TCentralHeader& h = item.header;
    std::vector<uint8_t>& in = inflater_->in;
    std::vector<uint8_t>& buf = inflater_->out;
    if (h.method == 0) {
        uint64_t left = h.compressedSize, at = dataStart;
        while (left > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(left, kChunk));
            ssize_t r = readChunk(fd, at, in.data(), want);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                return TDecodeEnd::Unreadable;
            emit(in.data(), static_cast<size_t>(r));
            at += static_cast<uint64_t>(r);
            left -= static_cast<uint64_t>(r);
        }
        return TDecodeEnd::Done;
    }

    z_stream* zsp = inflater_->start();
    if (!zsp)
        return TDecodeEnd::NoMemory;
    z_stream& zs = *zsp;
    uint64_t inLeft = h.compressedSize, at = dataStart, produced = 0;
    bool unreadable = false;
    while (produced < cap) {
        if (zs.avail_in == 0 && inLeft > 0) {
            size_t want = static_cast<size_t>(std::min<uint64_t>(inLeft, kChunk));
            ssize_t r = readChunk(fd, at, in.data(), want);
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0) {
                // What the inflater holds still comes out.
                unreadable = true;
                inLeft = 0;
            } else {
                at += static_cast<uint64_t>(r);
                inLeft -= static_cast<uint64_t>(r);
                zs.next_in = in.data();
                zs.avail_in = static_cast<uInt>(r);
            }
        }
        progress(psExtract, item.name);
        size_t room = static_cast<size_t>(std::min<uint64_t>(cap - produced, kChunk));
        zs.next_out = buf.data();
        zs.avail_out = static_cast<uInt>(room);
        int ret = inflate(&zs, Z_NO_FLUSH);
        size_t have = room - zs.avail_out;
        if (have > 0) {
            emit(buf.data(), have);
            produced += have;
        }
        if (ret == Z_STREAM_END)
            return TDecodeEnd::Done;
        if (ret != Z_OK && ret != Z_BUF_ERROR)
            return TDecodeEnd::Damaged;
        if (have == 0 && zs.avail_in == 0 && inLeft == 0)
            return unreadable ? TDecodeEnd::Unreadable : TDecodeEnd::Short; // the input yields nothing more
        if (have == 0 && ret == Z_BUF_ERROR && zs.avail_in != 0)
            return TDecodeEnd::Damaged;
    }
    return TDecodeEnd::Capped;
}

bool TUnZip::decodeItem(int fd, uint64_t dataStart, const TItem& item,
                        const std::function<void(const uint8_t*, size_t)>& emit)
{
    const zip::TCentralHeader& h = item.header;
    if ((h.flags & 0x0001) != 0 || (h.method != 0 && h.method != 8)) {
        // Encrypted members and methods other than stored and deflated are
        // not supported; the empty output file stays.
        reportError(item.name, zeMethod);
        return false;
    }
    // Data that ends early or is damaged keeps what decoded: the CRC check
    // reports it.
    if (decodeData(fd, dataStart, item, h.uncompressedSize, emit) == TDecodeEnd::NoMemory)
        reportError(item.name, zeWrite, "Out of memory");
    return true;
}

void TUnZip::extractItem(int fd, const TItem& item, const std::string& extractDir,
                         uint32_t maxDate, int& count)
{
    const zip::TCentralHeader& h = item.header;
    uint64_t dataStart = 0;
    uint32_t localDate = 0;
    if (!readLocal(fd, h, dataStart, &localDate)) {
        reportError(item.name, zeBadHeader);
        return;
    }

    std::string outPath = OutputPath(extractDir, item.name, UseStoredDirs);
    if (outPath.empty()) {
        reportError(item.name, zeOpen, "The name leads outside the extract folder");
        return;
    }
    bool isDir = namePart(item.name).empty() ||
                 (arcType_ == atZip && (h.externalAttr & 0x10) != 0);
    std::string outFolder = folderPart(outPath);

    auto makeFolders = [](const std::string& folder) {
        // Each level from the first separator on; failures of single levels
        // are left for the file creation to show.
        for (size_t p = folder.find('/', 1); p != std::string::npos; p = folder.find('/', p + 1))
            ::mkdir(folder.substr(0, p).c_str(), 0777);
    };

    if (isDir) {
        if (CreateStoredDirs) {
            std::string dir = outPath.back() == '/' ? outPath : outPath + '/';
            makeFolders(dir);
            struct stat st {};
            if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
                reportError(dir, zeOpen, systemMessage(errno));
        }
        return;
    }

    struct stat st {};
    if (::lstat(outPath.c_str(), &st) == 0) {
        if (ConfirmOverwrites && OnConfirmOverwrite) {
            if (!OnConfirmOverwrite(outPath))
                return;
        } else if (OverwriteMode == omSkip) {
            return;
        }
        // A read-only file is not replaced (the permission bits are looked
        // at, so that this holds for a privileged user too).
        if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0) {
            reportError(outPath, zeOpen, "The file is read-only");
            return;
        }
    }
    if (OnBeginFile)
        OnBeginFile(item.name, outPath);
    makeFolders(outFolder);
    TFd out(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (out.get() < 0) {
        reportError(outPath, zeOpen, systemMessage(errno));
        return;
    }
    ++count;

    TCrc32 crc;
    const bool decoded = decodeItem(fd, dataStart, item, [&](const uint8_t* p, size_t n) {
        crc.update(p, n);
        if (!WriteAll(out.get(), p, n))
            reportError(outPath, zeWrite, systemMessage(errno));
    });

    // The date goes on before the file is closed.
    uint32_t dos = 0;
    switch (DateAttribute) {
    case daSysDate: dos = toDosDateTime(::time(nullptr)); break;
    case daFileDate: dos = localDate; break;
    case daMaxFileDate: dos = maxDate; break;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = fromDosDateTime(dos);
    times[1].tv_nsec = 0;
    ::futimens(out.get(), times);
    if (RestoreFileAttr && (h.externalAttr & 0x01) != 0)
        ::fchmod(out.get(), 0444);
    if (::close(out.release()) != 0)
        reportError(outPath, zeClose, systemMessage(errno));

    if (decoded && !crcMatches(h.crc, crc))
        reportError(item.name, zeCrc);
}

int TUnZip::openForMembers()
{
    if (archiveFile_.empty())
        throw EArchiveError(zeNoFile, zipErrorMessage(zeNoFile));
    int fd = ::open(archiveFile_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw EArchiveError(zeOpen, archiveFile_ + ": " + zipErrorMessage(zeOpen) + " (" + systemMessage(errno) + ")");
    if (arcType_ == atNA) {
        ::close(fd);
        throw EArchiveError(zeBadHeader, archiveFile_ + ": " + zipErrorMessage(zeBadHeader) +
                                             " (not a readable archive)");
    }
    return fd;
}

std::vector<std::string> TUnZip::StoredNames()
{
    TFd fd(openForMembers());
    std::vector<std::string> names;
    zip::TCentralHeader h;
    std::string raw;
    index_.clear();
    for (uint64_t pos = centralStart_; readEntry(fd.get(), pos, h, raw);
         pos += zip::kCentralSize + h.nameLength + h.extraLength + h.commentLength) {
        names.push_back(slashPath(raw));
        index_.emplace(names.back(), pos); // the first of a name counts
    }
    indexed_ = true;
    return names;
}

std::string TUnZip::ReadMember(const std::string& storedName)
{
    if (!indexed_)
        StoredNames();
    TFd fd(openForMembers());
    zip::TCentralHeader h;
    std::string raw;
    auto entry = index_.find(storedName);
    const bool found = entry != index_.end() && readEntry(fd.get(), entry->second, h, raw);
    const std::string where = archiveFile_ + ": " + storedName + ": ";
    auto failure = [&](int code, const std::string& detail) {
        return EArchiveError(code, where + zipErrorMessage(code) + (detail.empty() ? "" : " (" + detail + ")"));
    };
    if (!found)
        throw failure(zeNoFile, "no such member");
    if ((h.flags & 0x0001) != 0 || (h.method != 0 && h.method != 8))
        throw failure(zeMethod, (h.flags & 0x0001) ? "encrypted" : "method " + std::to_string(h.method));
    const uint64_t mib = 1u << 20;
    if (h.uncompressedSize > MaxMemberSize)
        throw failure(zeTooLarge, "it declares " + std::to_string(h.uncompressedSize / mib) + " MB, more than the " +
                          std::to_string(MaxMemberSize / mib) + " MB read");
    uint64_t at = 0;
    if (!readLocal(fd.get(), h, at))
        throw failure(zeBadHeader, {});
    if (h.method == 0 && h.compressedSize > MaxMemberSize)
        throw failure(zeTooLarge, "it is stored with more than " + std::to_string(MaxMemberSize / mib) + " MB");
    // Inflated data may not grow past the limit, whatever the entry says:
    // inflating stops one byte past it.
    const uint64_t limit = std::min<uint64_t>(MaxMemberSize, h.uncompressedSize * MaxInflateRatio);
    const uint64_t cap = limit < UINT64_MAX ? limit + 1 : limit;

    std::string out;
    out.reserve(static_cast<size_t>(h.method == 0 ? h.compressedSize : h.uncompressedSize));
    TCrc32 crc;
    const TItem item{h, storedName};
    switch (decodeData(fd.get(), at, item, cap, [&](const uint8_t* p, size_t n) {
        crc.update(p, n);
        out.append(reinterpret_cast<const char*>(p), n);
    })) {
    case TDecodeEnd::Done: break;
    case TDecodeEnd::NoMemory: throw failure(zeTooLarge, "out of memory");
    case TDecodeEnd::Unreadable:
        throw failure(h.method == 0 ? zeBadHeader : zeCrc, "the data runs past the end of the archive");
    case TDecodeEnd::Short: throw failure(zeCrc, "the data ends early");
    case TDecodeEnd::Damaged: throw failure(zeCrc, "damaged data");
    case TDecodeEnd::Capped:
        if (out.size() > MaxMemberSize)
            throw failure(zeTooLarge, "it inflates past " + std::to_string(MaxMemberSize / mib) + " MB");
        throw failure(zeTooLarge, "it inflates past " + std::to_string(MaxInflateRatio) +
                          " times the size its directory entry declares");
    }
    if (!crcMatches(h.crc, crc))
        throw failure(zeCrc, {});
    out.shrink_to_fit();
    return out;
}

} // namespace volm
