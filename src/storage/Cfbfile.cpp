#include "storage/Cfbfile.h"

#include "common/Codepage.h"
#include "common/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace volm::cfb {
namespace {

std::string hex(uint32_t v)
{
    char b[16];
    std::snprintf(b, sizeof b, "0x%08X", v);
    return b;
}

std::string quoted(std::u16string_view name)
{
    std::string r(1, '"');
    r += utf16ToUtf8(name);
    r += '"';
    return r;
}

uint32_t statusOf(int err, bool writing)
{
    switch (err) {
    case ENOENT: return STG_E_FILENOTFOUND;
    case ENOTDIR:
    case ENAMETOOLONG: return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return STG_E_ACCESSDENIED;
    case EROFS: return STG_E_DISKISWRITEPROTECTED;
    case EWOULDBLOCK: return STG_E_SHAREVIOLATION;
    case EEXIST: return STG_E_FILEALREADYEXISTS;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return STG_E_MEDIUMFULL;
    case EMFILE:
    case ENFILE: return STG_E_TOOMANYOPENFILES;
    case ENOMEM: return STG_E_INSUFFICIENTMEMORY;
    default: return writing ? STG_E_WRITEFAULT : STG_E_READFAULT;
    }
}

std::string causeOf(const IoFailure& e)
{
    switch (e.err()) {
    case EWOULDBLOCK: return "the file is already open (share violation)";
    case ENOENT: return "file not found";
    case EEXIST: return "the file already exists";
    default: return e.what();
    }
}

[[noreturn]] void throwOpen(const std::string& path, const IoFailure& e, bool writing)
{
    uint32_t st = statusOf(e.err(), writing);
    throw EStorageError(st, path + ": " + causeOf(e) + " [" + hex(st) + "]");
}

// Units of `unit` bytes that `size` bytes take (no overflow near 2^64).
size_t units(uint64_t size, uint32_t unit) { return static_cast<size_t>(size / unit + (size % unit != 0)); }

bool isStream(const Entry* e) { return e->type == kTypeStream; }

constexpr size_t kIoChunk = 1 << 20;

} // namespace

// ---------------------------------------------------------------------------
// Opening and creating

CompoundFile::CompoundFile(std::unique_ptr<FileIo> io, std::string name, bool readOnly)
    : io_(std::move(io)), path_(std::move(name)), readOnly_(readOnly)
{
}

CompoundFile::~CompoundFile()
{
    bool remove = deleteOnRelease_ && ownsPath_;
    io_.reset();
    if (remove)
        ::unlink(path_.c_str());
}

bool CompoundFile::isCompoundFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint8_t sig[8] = {};
    ssize_t n = ::pread(fd, sig, sizeof sig, 0);
    ::close(fd);
    return n == 8 && std::memcmp(sig, kSignature, 8) == 0;
}

std::shared_ptr<CompoundFile> CompoundFile::open(const std::string& path, Access access)
{
    std::unique_ptr<FileIo> io;
    try {
        io = std::make_unique<PosixFile>(path, access == Access::ReadOnly ? PosixFile::Mode::ReadOnly
                                                                          : PosixFile::Mode::ReadWrite);
    } catch (const IoFailure& e) {
        throwOpen(path, e, access == Access::ReadWrite);
    }
    auto f = open(std::move(io), path, access);
    f->ownsPath_ = true;
    return f;
}

std::shared_ptr<CompoundFile> CompoundFile::open(std::unique_ptr<FileIo> io, const std::string& name, Access access)
{
    std::shared_ptr<CompoundFile> f(new CompoundFile(std::move(io), name, access == Access::ReadOnly));
    try {
        f->load(access == Access::ReadWrite);
    } catch (const IoFailure& e) {
        f->failIo(e, false);
    } catch (const std::bad_alloc&) {
        f->fail(STG_E_INSUFFICIENTMEMORY, "not enough memory to open the file");
    }
    return f;
}

std::shared_ptr<CompoundFile> CompoundFile::create(const std::string& path, bool replace)
{
    std::unique_ptr<FileIo> io;
    try {
        io = std::make_unique<PosixFile>(path, replace ? PosixFile::Mode::Create : PosixFile::Mode::CreateNew);
    } catch (const IoFailure& e) {
        throwOpen(path, e, true);
    }
    auto f = create(std::move(io), path);
    f->ownsPath_ = true;
    return f;
}

std::shared_ptr<CompoundFile> CompoundFile::createTemporary()
{
    std::unique_ptr<FileIo> io;
    const std::string name = "(temporary compound file)";
    try {
        io = PosixFile::temporary();
    } catch (const IoFailure& e) {
        throwOpen(name, e, true);
    }
    return create(std::move(io), name);
}

std::shared_ptr<CompoundFile> CompoundFile::create(std::unique_ptr<FileIo> io, const std::string& name)
{
    std::shared_ptr<CompoundFile> f(new CompoundFile(std::move(io), name, false));
    try {
        f->initEmpty();
    } catch (const IoFailure& e) {
        f->failIo(e, true);
    }
    return f;
}

void CompoundFile::fail(uint32_t status, const std::string& cause) const
{
    throw EStorageError(status, path_ + ": " + cause + " [" + hex(status) + "]");
}

void CompoundFile::failIo(const IoFailure& e, bool writing)
{
    if (writing)
        failed_ = true;
    fail(statusOf(e.err(), writing), std::string(writing ? "write failed: " : "read failed: ") + e.what());
}

void CompoundFile::checkWritable()
{
    if (readOnly_)
        fail(STG_E_ACCESSDENIED, "the file is open for reading only");
    if (failed_)
        fail(STG_E_WRITEFAULT, "an earlier write to the file failed; close the file and open it again");
}

void CompoundFile::checkUsable() const
{
    if (failed_)
        fail(STG_E_WRITEFAULT, "an earlier write to the file failed; close the file and open it again");
}

template <class F> void CompoundFile::mutate(F&& f)
{
    try {
        f();
    } catch (const IoFailure& e) {
        failIo(e, true);
    } catch (...) {
        // Memory may now be ahead of the file: refuse further work.
        failed_ = true;
        throw;
    }
}

void CompoundFile::put(uint64_t offset, const void* data, size_t count)
{
    io_->write(offset, data, count);
    uint64_t end = offset + count;
    if (end > ss_) {
        uint64_t sectors = (end - ss_ + ss_ - 1) / ss_;
        fileSectors_ = std::max(fileSectors_, sectors);
    }
}

void CompoundFile::readSectors(const std::vector<uint32_t>& sectors, uint8_t* out)
{
    size_t i = 0;
    while (i < sectors.size()) {
        size_t j = i + 1;
        while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1 && (j - i) * ss_ < kIoChunk)
            ++j;
        size_t len = (j - i) * ss_;
        size_t got = io_->read(sectorOffset(sectors[i]), out + i * ss_, len);
        if (got < len)
            std::memset(out + i * ss_ + got, 0, len - got); // a short last sector
        i = j;
    }
}

void CompoundFile::load(bool forWriting)
{
    uint64_t fsize = io_->size();
    uint8_t hdr[512];
    if (fsize < 512 || io_->read(0, hdr, 512) != 512 || std::memcmp(hdr, kSignature, 8) != 0)
        fail(STG_E_INVALIDHEADER, "not a compound file (invalid header)");
    major_ = get16(hdr + hMajorVersion);
    shift_ = get16(hdr + hSectorShift);
    if ((major_ != 3 && major_ != 4) || (shift_ != 9 && shift_ != 12))
        fail(STG_E_INVALIDHEADER, "not a compound file (unsupported version " + std::to_string(major_) +
                                      " or sector size)");
    if (get16(hdr + hMiniSectorShift) != 6)
        fail(STG_E_INVALIDHEADER, "not a compound file (unsupported mini sector size)");
    ss_ = 1u << shift_;
    std::memcpy(header_.data(), hdr, 512);
    fileSectors_ = fsize > ss_ ? (fsize - ss_ + ss_ - 1) / ss_ : 0;
    sectorLimit_ = major_ == 3 ? 0x7FFFFFFFu / ss_ - 1 : kMaxRegSect;
    if (fileSectors_ > kMaxRegSect)
        fail(STG_E_DOCFILECORRUPT, "the file is larger than its format can address");

    loadFat(hdr);
    loadDirectory(hdr);
    loadMini(hdr);
    if (forWriting)
        validateForWriting();
}

void CompoundFile::loadFat(const uint8_t* hdr)
{
    uint32_t nFat = get32(hdr + hFatSectors);
    if (nFat > fileSectors_)
        fail(STG_E_DOCFILECORRUPT, "corrupt file: the allocation table is larger than the file");
    size_t per = ss_ / 4;
    fatSectors_.reserve(nFat);
    for (size_t i = 0; i < std::min<size_t>(nFat, kHeaderDifat); ++i)
        fatSectors_.push_back(get32(hdr + hDifat + 4 * i));
    uint32_t d = get32(hdr + hFirstDifat);
    std::vector<uint8_t> buf(ss_);
    std::set<uint32_t> seen;
    while (fatSectors_.size() < nFat) {
        if (d >= fileSectors_ || !seen.insert(d).second)
            fail(STG_E_DOCFILECORRUPT, "corrupt file: broken chain of allocation-table sectors");
        difatSectors_.push_back(d);
        readSectors({d}, buf.data());
        for (size_t j = 0; j + 1 < per && fatSectors_.size() < nFat; ++j)
            fatSectors_.push_back(get32(buf.data() + 4 * j));
        d = get32(buf.data() + 4 * (per - 1));
    }
    for (uint32_t s : fatSectors_)
        if (s >= fileSectors_)
            fail(STG_E_DOCFILECORRUPT, "corrupt file: an allocation-table sector lies beyond the end of the file");
    std::vector<uint8_t> raw(static_cast<size_t>(nFat) * ss_);
    readSectors(fatSectors_, raw.data());
    std::vector<uint32_t> entries(static_cast<size_t>(nFat) * per);
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i] = get32(raw.data() + 4 * i);
    fat_.reset(per, std::move(entries));
}

void CompoundFile::decodeEntry(const uint8_t* p, Entry& e) const
{
    // The name is as long as its length field says (without the terminator),
    // embedded zeros and all, as other readers take it.
    size_t len = std::min<size_t>(get16(p + eNameLength), 64);
    size_t n = len >= 2 ? (len - 2) / 2 : 0;
    e.name.clear();
    for (size_t i = 0; i < n; ++i)
        e.name.push_back(get16(p + eName + 2 * i));
    e.type = p[eType];
    e.red = p[eColor] == 0;
    std::copy(p + eClsid, p + eClsid + 16, e.clsid.begin());
    e.stateBits = get32(p + eStateBits);
    e.created = get64(p + eCreated);
    e.modified = get64(p + eModified);
    e.start = get32(p + eStart);
    e.size = get64(p + eSize);
    if (ss_ == 512)
        e.size &= 0xFFFFFFFFu; // writers of version 3 files leave garbage in the high word
    e.onDisk = true;
    e.diskLeft = get32(p + eLeft);
    e.diskRight = get32(p + eRight);
    e.diskChild = get32(p + eChild);
    e.diskRed = e.red;
}

void CompoundFile::loadDirectory(const uint8_t* hdr)
{
    std::vector<bool> seen(fileSectors_);
    for (uint32_t s = get32(hdr + hFirstDirSector); s != kEndOfChain; s = fat_.get(s)) {
        if (s >= fileSectors_ || s >= fat_.size() || seen[s]) {
            // A chain that runs off or loops: what came before is the directory.
            damaged_ = true;
            break;
        }
        seen[s] = true;
        dirChain_.push_back(s);
    }
    if (dirChain_.empty())
        fail(STG_E_DOCFILECORRUPT, "corrupt file: no directory");
    std::vector<uint8_t> raw(dirChain_.size() * ss_);
    readSectors(dirChain_, raw.data());
    size_t nSlots = raw.size() / kEntrySize;
    bySlot_.assign(nSlots, nullptr);
    auto at = [&](uint32_t slot) { return raw.data() + static_cast<size_t>(slot) * kEntrySize; };

    if (at(0)[eType] != kTypeRoot && at(0)[eType] != kTypeStorage)
        fail(STG_E_DOCFILECORRUPT, "corrupt file: no root entry");
    root_ = newEntry();
    decodeEntry(at(0), *root_);
    root_->type = kTypeRoot;
    root_->slot = 0;
    bySlot_[0] = root_;

    // Walk every storage's tree once, the left side, then the right, then a
    // storage's own elements. A link out of range or to an entry reached
    // before (a loop) is dropped.
    struct Item {
        uint32_t slot;
        Entry* storage;
        Entry* parent;
        bool left;
    };
    std::vector<Item> work;
    if (root_->diskChild != kNoStream)
        work.push_back({root_->diskChild, root_, nullptr, false});
    while (!work.empty()) {
        Item it = work.back();
        work.pop_back();
        const uint8_t* p = it.slot < nSlots ? at(it.slot) : nullptr;
        if (!p || bySlot_[it.slot]) {
            damaged_ = true;
            continue;
        }
        if (p[eType] != kTypeStorage && p[eType] != kTypeStream)
            damaged_ = true; // kept in the tree, never listed or opened
        Entry* e = newEntry();
        decodeEntry(p, *e);
        e->slot = it.slot;
        e->owner = it.storage;
        e->parent = it.parent;
        bySlot_[it.slot] = e;
        if (!it.parent)
            it.storage->child = e;
        else if (it.left)
            it.parent->left = e;
        else
            it.parent->right = e;
        if (e->type == kTypeStorage) {
            e->size = 0;
            if (e->diskChild != kNoStream)
                work.push_back({e->diskChild, e, nullptr, false});
        }
        if (e->diskRight != kNoStream)
            work.push_back({e->diskRight, it.storage, e, false});
        if (e->diskLeft != kNoStream)
            work.push_back({e->diskLeft, it.storage, e, true});
    }
    // A tree in another order (some writers upper-case differently, or
    // repeat a name) is searched by a scan when the walk fails. A tree that
    // breaks the red-black rules (some writers chain every element to the
    // next) is rebuilt by the first change to it.
    for (auto& e : entries_) {
        if (!e->isStorage())
            continue;
        if (!tree::ordered(e.get()))
            misordered_ = true;
        e->sound = tree::redBlack(e.get());
    }
    // Slots the tree does not reach are free. What they hold is left as it
    // is (a reader never changes a byte, and nor does a writer's commit):
    // only a slot that one of our own changes frees is cleared.
    for (uint32_t s = 0; s < nSlots; ++s)
        if (!bySlot_[s])
            freeSlots_.insert(s);
}

void CompoundFile::loadMini(const uint8_t* hdr)
{
    if (root_->size > 0 && root_->start != kEndOfChain) {
        // The mini stream as far as its chain goes; a small stream that lies
        // beyond a break is refused when it is opened.
        size_t need = units(root_->size, ss_);
        std::vector<bool> seenMini(fileSectors_);
        uint32_t s = root_->start;
        while (miniChain_.size() < need && s < fileSectors_ && s < fat_.size() && !seenMini[s]) {
            seenMini[s] = true;
            miniChain_.push_back(s);
            s = fat_.get(s);
        }
        if (miniChain_.size() < need)
            damaged_ = true;
    } else {
        root_->size = 0;
    }
    // A table that claims more sectors than the file holds is read as far as
    // its chain goes (the file is then only read, never written).
    uint32_t n = get32(hdr + hMiniFatSectors);
    if (n > fileSectors_)
        damaged_ = true;
    std::vector<bool> seen(fileSectors_);
    uint32_t s = get32(hdr + hFirstMiniFat);
    while (minifatChain_.size() < n && s != kEndOfChain) {
        if (s >= fileSectors_ || s >= fat_.size() || seen[s]) {
            damaged_ = true;
            break;
        }
        seen[s] = true;
        minifatChain_.push_back(s);
        s = fat_.get(s);
    }
    std::vector<uint8_t> raw(minifatChain_.size() * ss_);
    readSectors(minifatChain_, raw.data());
    std::vector<uint32_t> entries(raw.size() / 4);
    for (size_t i = 0; i < entries.size(); ++i)
        entries[i] = get32(raw.data() + 4 * i);
    minifat_.reset(ss_ / 4, std::move(entries));
}

size_t CompoundFile::miniUnits() const
{
    uint64_t n = std::min<uint64_t>(units(root_->size, kMiniSectorSize),
                                    static_cast<uint64_t>(miniChain_.size()) * (ss_ / kMiniSectorSize));
    return static_cast<size_t>(std::min<uint64_t>(n, minifat_.size()));
}

void CompoundFile::validateForWriting()
{
    if (damaged_)
        fail(STG_E_DOCFILECORRUPT, "damaged file: its directory or tables are broken (it can only be read)");
    // Every sector belongs to at most one thing; anything that nobody uses is
    // free, whatever the table on disk says (a change cut short leaves such
    // sectors behind). A file whose chains overlap is only read, never written.
    std::vector<uint8_t> used(fat_.size());
    auto claim = [&](uint32_t s, uint32_t mark) {
        if (s >= used.size() || used[s])
            fail(STG_E_DOCFILECORRUPT, "corrupt file: sectors shared by two chains (it can only be read)");
        used[s] = 1;
        if (mark != kFreeSect)
            fat_.setQuiet(s, mark);
        else if (fat_.get(s) == kFreeSect)
            fat_.setQuiet(s, kEndOfChain);
    };
    for (uint32_t s : fatSectors_)
        claim(s, kFatSect);
    for (uint32_t s : difatSectors_)
        claim(s, kDifSect);
    for (uint32_t s : dirChain_)
        claim(s, kFreeSect);
    for (uint32_t s : minifatChain_)
        claim(s, kFreeSect);
    for (uint32_t s : miniChain_)
        claim(s, kFreeSect);

    std::vector<uint8_t> miniUsed(minifat_.size());
    std::vector<uint32_t> chain;
    for (auto& e : entries_) {
        if (e->type != kTypeStream || e->size == 0)
            continue;
        bool mini = e->size < kMiniCutoff;
        bool ok = mini ? minifat_.follow(e->start, units(e->size, kMiniSectorSize), miniUnits(), chain)
                       : fat_.follow(e->start, units(e->size, ss_), fileSectors_, chain);
        if (!ok)
            fail(STG_E_DOCFILECORRUPT, "corrupt file: stream " + quoted(e->name) + " has a broken sector chain");
        for (uint32_t u : chain) {
            if (mini) {
                if (miniUsed[u])
                    fail(STG_E_DOCFILECORRUPT, "corrupt file: mini sectors shared by two streams (it can only be read)");
                miniUsed[u] = 1;
                if (minifat_.get(u) == kFreeSect)
                    minifat_.setQuiet(u, kEndOfChain);
            } else {
                claim(u, kFreeSect);
            }
        }
    }
    for (size_t i = 0; i < used.size(); ++i)
        if (!used[i])
            fat_.setQuiet(i, kFreeSect);
    for (size_t i = 0; i < miniUsed.size(); ++i)
        if (!miniUsed[i])
            minifat_.setQuiet(i, kFreeSect);
    // The root's size must not claim more of the mini stream than it holds.
    if (root_->size > static_cast<uint64_t>(miniChain_.size()) * ss_)
        fail(STG_E_DOCFILECORRUPT, "corrupt file: mini stream shorter than its size");
    if (fileSectors_ >= sectorLimit_ && major_ == 3)
        sectorLimit_ = static_cast<uint32_t>(fileSectors_);
}

void CompoundFile::initEmpty()
{
    major_ = 3;
    shift_ = 9;
    ss_ = 512;
    sectorLimit_ = 0x7FFFFFFFu / ss_ - 1;
    header_.fill(0);
    std::memcpy(header_.data(), kSignature, 8);
    put16(header_.data() + hMinorVersion, 0x3E);
    put16(header_.data() + hMajorVersion, 3);
    put16(header_.data() + hByteOrder, 0xFFFE);
    put16(header_.data() + hSectorShift, 9);
    put16(header_.data() + hMiniSectorShift, 6);
    put32(header_.data() + hMiniCutoff, kMiniCutoff);

    std::vector<uint32_t> entries(ss_ / 4, kFreeSect);
    entries[0] = kFatSect;
    entries[1] = kEndOfChain;
    fat_.reset(ss_ / 4, std::move(entries));
    fatSectors_ = {0};
    dirChain_ = {1};
    minifat_.reset(ss_ / 4, {});

    root_ = newEntry();
    root_->name = u"Root Entry";
    root_->type = kTypeRoot;
    root_->slot = 0;
    size_t per = ss_ / kEntrySize;
    bySlot_.assign(per, nullptr);
    bySlot_[0] = root_;
    for (uint32_t s = 1; s < per; ++s)
        freeSlots_.insert(s);

    // The directory, then the table that holds it, then the header.
    std::vector<uint8_t> dir(ss_);
    encodeEntry(*root_, dir.data());
    for (size_t i = 1; i < per; ++i)
        encodeEmptyEntry(dir.data() + i * kEntrySize);
    put(sectorOffset(1), dir.data(), dir.size());
    root_->onDisk = true;
    writePage(fat_, 0, 0);
    writeHeader();
}

// ---------------------------------------------------------------------------
// Tables and the header

void CompoundFile::writePage(const AllocTable& table, size_t page, uint32_t sector)
{
    std::vector<uint8_t> buf(ss_);
    const uint32_t* p = table.page(page);
    for (size_t i = 0; i < table.perPage(); ++i)
        put32(buf.data() + 4 * i, p[i]);
    put(sectorOffset(sector), buf.data(), buf.size());
}

void CompoundFile::flushTable(AllocTable& table, const std::vector<uint32_t>& pageSectors, size_t linkEntry)
{
    size_t linkPage = linkEntry == SIZE_MAX ? SIZE_MAX : linkEntry / table.perPage();
    std::vector<size_t> pages(table.dirtyPages().begin(), table.dirtyPages().end());
    // The page that links new sectors into a live chain goes last.
    std::stable_partition(pages.begin(), pages.end(), [&](size_t p) { return p != linkPage; });
    for (size_t p : pages)
        writePage(table, p, pageSectors[p]);
    table.clearDirty();
}

void CompoundFile::writeHeader()
{
    uint8_t* h = header_.data();
    put32(h + hDirSectors, major_ == 4 ? static_cast<uint32_t>(dirChain_.size()) : 0);
    put32(h + hFatSectors, static_cast<uint32_t>(fatSectors_.size()));
    put32(h + hFirstDirSector, dirChain_.front());
    put32(h + hFirstMiniFat, minifatChain_.empty() ? kEndOfChain : minifatChain_.front());
    put32(h + hMiniFatSectors, static_cast<uint32_t>(minifatChain_.size()));
    put32(h + hFirstDifat, difatSectors_.empty() ? kEndOfChain : difatSectors_.front());
    put32(h + hDifatSectors, static_cast<uint32_t>(difatSectors_.size()));
    for (size_t i = 0; i < kHeaderDifat; ++i)
        put32(h + hDifat + 4 * i, i < fatSectors_.size() ? fatSectors_[i] : kFreeSect);
    put(0, h, header_.size());
}

void CompoundFile::writeDifatSector(size_t k)
{
    size_t per = ss_ / 4;
    std::vector<uint8_t> buf(ss_);
    for (size_t j = 0; j + 1 < per; ++j) {
        size_t idx = kHeaderDifat + k * (per - 1) + j;
        put32(buf.data() + 4 * j, idx < fatSectors_.size() ? fatSectors_[idx] : kFreeSect);
    }
    put32(buf.data() + 4 * (per - 1), k + 1 < difatSectors_.size() ? difatSectors_[k + 1] : kEndOfChain);
    put(sectorOffset(difatSectors_[k]), buf.data(), buf.size());
}

void CompoundFile::extendFat()
{
    size_t per = fat_.perPage();
    size_t p = fatSectors_.size();
    uint64_t first = static_cast<uint64_t>(p) * per; // the first sector the new page covers
    bool needDifat = p >= kHeaderDifat + difatSectors_.size() * (per - 1);
    if (first + (needDifat ? 1 : 0) >= sectorLimit_)
        fail(STG_E_DOCFILETOOLARGE, "the file would grow past the 2 GB limit of its format");
    uint32_t s = static_cast<uint32_t>(first);
    fat_.addPage();
    fat_.setQuiet(s, kFatSect);
    if (needDifat)
        fat_.setQuiet(s + 1, kDifSect);
    fatSectors_.push_back(s);
    // The new table sector first; it becomes live with the header (and the
    // DIFAT sector that lists it).
    writePage(fat_, p, s);
    if (needDifat) {
        difatSectors_.push_back(s + 1);
        writeDifatSector(difatSectors_.size() - 1);
        if (difatSectors_.size() > 1)
            writeDifatSector(difatSectors_.size() - 2);
    } else if (p >= kHeaderDifat) {
        writeDifatSector((p - kHeaderDifat) / (per - 1));
    }
    writeHeader();
}

uint32_t CompoundFile::allocSector()
{
    for (;;) {
        size_t i = fat_.findFree(sectorLimit_);
        if (i < sectorLimit_) {
            fat_.set(i, kEndOfChain);
            return static_cast<uint32_t>(i);
        }
        extendFat();
    }
}

std::vector<uint32_t> CompoundFile::allocSectors(size_t n)
{
    std::vector<uint32_t> out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i)
        out.push_back(allocSector());
    for (size_t i = 0; i + 1 < out.size(); ++i)
        fat_.set(out[i], out[i + 1]);
    return out;
}

void CompoundFile::ensureMiniCapacity(size_t count)
{
    // The mini allocation table first: a new sector of free entries, linked
    // into its chain, then counted in the header.
    while (minifat_.size() < count) {
        uint32_t s = allocSector();
        minifat_.addPage();
        writePage(minifat_, minifat_.pages() - 1, s);
        if (minifatChain_.empty()) {
            flushFat();
        } else {
            fat_.set(minifatChain_.back(), s);
            flushFat(minifatChain_.back());
        }
        minifatChain_.push_back(s);
        writeHeader();
    }
    // Then the mini stream: zeroed sectors linked to its chain, made live by
    // the root entry's new size.
    uint64_t bytes = static_cast<uint64_t>(count) * kMiniSectorSize;
    if (root_->size >= bytes)
        return;
    size_t needSectors = units(bytes, ss_);
    if (miniChain_.size() < needSectors) {
        std::vector<uint32_t> fresh = allocSectors(needSectors - miniChain_.size());
        writeUnits(false, fresh, 0, static_cast<uint64_t>(fresh.size()) * ss_, 0, nullptr, 0, {});
        if (miniChain_.empty()) {
            flushFat();
            root_->start = fresh[0];
        } else {
            fat_.set(miniChain_.back(), fresh[0]);
            flushFat(miniChain_.back());
        }
        miniChain_.insert(miniChain_.end(), fresh.begin(), fresh.end());
    }
    root_->size = bytes;
    writeEntry(root_);
}

std::vector<uint32_t> CompoundFile::allocMini(size_t n)
{
    std::vector<uint32_t> out;
    out.reserve(n);
    size_t have = miniUnits();
    while (out.size() < n) {
        size_t i = minifat_.findFree(have);
        if (i == have)
            break;
        minifat_.set(i, kEndOfChain);
        out.push_back(static_cast<uint32_t>(i));
    }
    if (out.size() < n) {
        size_t extra = n - out.size();
        ensureMiniCapacity(have + extra);
        for (size_t i = 0; i < extra; ++i) {
            minifat_.set(have + i, kEndOfChain);
            out.push_back(static_cast<uint32_t>(have + i));
        }
    }
    for (size_t i = 0; i + 1 < out.size(); ++i)
        minifat_.set(out[i], out[i + 1]);
    return out;
}

void CompoundFile::releaseUnits(bool mini, const std::vector<uint32_t>& chain, size_t keep)
{
    AllocTable& t = mini ? minifat_ : fat_;
    if (keep > 0 && keep <= chain.size())
        t.set(chain[keep - 1], kEndOfChain);
    for (size_t i = keep; i < chain.size(); ++i)
        t.release(chain[i]);
    if (mini)
        flushMiniFat();
    else
        flushFat();
}

// ---------------------------------------------------------------------------
// The directory

Entry* CompoundFile::newEntry()
{
    entries_.push_back(std::make_unique<Entry>());
    entries_.back()->index = entries_.size() - 1;
    return entries_.back().get();
}

void CompoundFile::dropEntry(Entry* e)
{
    size_t i = e->index;
    std::swap(entries_[i], entries_.back());
    entries_[i]->index = i;
    entries_.pop_back();
}

void CompoundFile::growDirectory()
{
    uint32_t s = allocSector();
    size_t per = ss_ / kEntrySize;
    std::vector<uint8_t> buf(ss_);
    for (size_t i = 0; i < per; ++i)
        encodeEmptyEntry(buf.data() + i * kEntrySize);
    put(sectorOffset(s), buf.data(), buf.size());
    fat_.set(dirChain_.back(), s);
    flushFat(dirChain_.back());
    dirChain_.push_back(s);
    if (major_ == 4)
        writeHeader();
    uint32_t first = static_cast<uint32_t>(bySlot_.size());
    bySlot_.resize(bySlot_.size() + per, nullptr);
    for (uint32_t i = 0; i < per; ++i)
        freeSlots_.insert(first + i);
}

uint32_t CompoundFile::takeSlot()
{
    if (freeSlots_.empty())
        growDirectory();
    uint32_t s = *freeSlots_.begin();
    freeSlots_.erase(freeSlots_.begin());
    return s;
}

uint64_t CompoundFile::slotOffset(uint32_t slot) const
{
    size_t per = ss_ / kEntrySize;
    return sectorOffset(dirChain_[slot / per]) + (slot % per) * kEntrySize;
}

void CompoundFile::writeEntries(std::vector<Entry*> list)
{
    std::sort(list.begin(), list.end(), [](const Entry* a, const Entry* b) { return a->slot < b->slot; });
    list.erase(std::unique(list.begin(), list.end()), list.end());
    size_t per = ss_ / kEntrySize;
    size_t i = 0;
    std::vector<uint8_t> buf;
    while (i < list.size()) {
        // Neighbouring slots of one sector go out in one write.
        size_t j = i + 1;
        while (j < list.size() && list[j]->slot == list[j - 1]->slot + 1 && list[j]->slot / per == list[i]->slot / per)
            ++j;
        buf.assign((j - i) * kEntrySize, 0);
        for (size_t k = i; k < j; ++k)
            encodeEntry(*list[k], buf.data() + (k - i) * kEntrySize);
        put(slotOffset(list[i]->slot), buf.data(), buf.size());
        for (size_t k = i; k < j; ++k) {
            Entry* e = list[k];
            e->onDisk = true;
            e->diskLeft = slotOf(e->left);
            e->diskRight = slotOf(e->right);
            e->diskChild = slotOf(e->child);
            e->diskRed = e->red;
            bySlot_[e->slot] = e;
            staleSlots_.erase(e->slot);
        }
        i = j;
    }
}

void CompoundFile::applyTreeChange(const std::vector<Entry*>& touched, const std::vector<uint32_t>& freed)
{
    TreePlan plan = planTreeChange(touched);
    std::vector<uint32_t> released(freed);
    // Fresh slots for everything that moves: none of them is referred to on
    // disk, and none is a slot this change frees.
    for (Entry* e : plan.relocate) {
        if (e->slot != kNoStream)
            released.push_back(e->slot);
        e->slot = takeSlot();
        e->onDisk = false;
    }
    if (!plan.relocate.empty())
        writeEntries(plan.relocate);
    // Colours are never relied on when reading, so the entries that only
    // change colour go out before the switch: the write that makes the
    // change live is its last, and a change that fails never went live.
    if (!plan.recolor.empty())
        writeEntries(plan.recolor);
    if (plan.commit)
        writeEntry(plan.commit);
    for (uint32_t s : released) {
        if (bySlot_[s] && bySlot_[s]->live && bySlot_[s]->slot == s)
            continue;
        bySlot_[s] = nullptr;
        freeSlots_.insert(s);
        staleSlots_.insert(s);
    }
}

std::vector<ElementInfo> CompoundFile::list(const Entry* storage) const
{
    std::vector<ElementInfo> out;
    for (Entry* e : tree::elements(storage ? storage : root_)) {
        if (e->type != kTypeStream && e->type != kTypeStorage)
            continue;
        ElementInfo info;
        info.name = e->name;
        info.type = e->type == kTypeStream ? kTypeStream : kTypeStorage;
        info.size = e->type == kTypeStream ? e->size : 0;
        info.clsid = e->clsid;
        out.push_back(std::move(info));
    }
    return out;
}

Entry* CompoundFile::find(std::u16string_view name, Entry* storage)
{
    return tree::find(storage ? storage : root_, name, entries_.size(), misordered_);
}

void CompoundFile::checkName(std::u16string_view name) const
{
    if (name.empty())
        fail(STG_E_INVALIDNAME, "invalid element name (empty)");
    if (name.size() > kMaxNameUnits)
        fail(STG_E_INVALIDNAME, "invalid element name " + quoted(name) + " (longer than 31 characters)");
    for (char16_t c : name)
        if (c == u'/' || c == u'\\' || c == u':' || c == u'!')
            fail(STG_E_INVALIDNAME, "invalid element name " + quoted(name) + " (contains '" +
                                        static_cast<char>(c) + "')");
}

std::vector<uint32_t> CompoundFile::streamChain(const Entry* e)
{
    std::vector<uint32_t> chain;
    bool mini = e->size < kMiniCutoff;
    bool ok = mini ? minifat_.follow(e->start, units(e->size, kMiniSectorSize), miniUnits(), chain)
                   : fat_.follow(e->start, units(e->size, ss_), fileSectors_, chain);
    if (!ok)
        fail(STG_E_DOCFILECORRUPT, "corrupt file: stream " + quoted(e->name) + " has a broken sector chain");
    return chain;
}

std::shared_ptr<StreamEntry> CompoundFile::openStream(std::u16string_view name, Entry* storage)
{
    checkUsable();
    // Any name is looked up (a damaged file may list an empty one); only one
    // too long for the format is refused as a name.
    if (name.size() > kMaxNameUnits)
        checkName(name);
    Entry* e = tree::find(storage ? storage : root_, name, entries_.size(), misordered_, isStream);
    if (!e)
        fail(STG_E_FILENOTFOUND, "no stream named " + quoted(name));
    if (e->opens > 0)
        fail(STG_E_ACCESSDENIED, "stream " + quoted(name) + " is already open");
    std::vector<uint32_t> chain = streamChain(e);
    ++e->opens;
    return std::shared_ptr<StreamEntry>(new StreamEntry(shared_from_this(), e, std::move(chain)));
}

std::shared_ptr<StreamEntry> CompoundFile::createStream(std::u16string_view name, bool replace)
{
    checkWritable();
    checkName(name);
    Entry* e = find(name);
    if (e) {
        if (!replace)
            fail(STG_E_FILEALREADYEXISTS, "an element named " + quoted(name) + " already exists");
        if (e->type == kTypeStream) {
            if (e->opens > 0)
                fail(STG_E_ACCESSDENIED, "stream " + quoted(name) + " is open");
            std::vector<uint32_t> chain = streamChain(e);
            ++e->opens;
            std::shared_ptr<StreamEntry> s(new StreamEntry(shared_from_this(), e, std::move(chain)));
            s->resize(0);
            return s;
        }
        destroy(name);
    }
    mutate([&] {
        e = newEntry();
        e->name = std::u16string(name);
        e->type = kTypeStream;
        std::vector<Entry*> touched;
        tree::insert(root_, e, touched);
        applyTreeChange(touched, {});
    });
    ++e->opens;
    return std::shared_ptr<StreamEntry>(new StreamEntry(shared_from_this(), e, {}));
}

std::shared_ptr<StreamEntry> CompoundFile::createStreamWith(std::u16string_view name, std::string_view content)
{
    checkWritable();
    checkName(name);
    if (find(name))
        fail(STG_E_FILEALREADYEXISTS, "an element named " + quoted(name) + " already exists");
    if (content.size() / ss_ + 2 >= sectorLimit_)
        fail(STG_E_DOCFILETOOLARGE, "stream " + quoted(name) + ": the file would grow past the limit of its format");
    Entry* e = nullptr;
    std::vector<uint32_t> chain;
    mutate([&] {
        // The content goes into units that nothing on disk refers to yet;
        // the directory entry that makes the stream live, with its size and
        // first unit, is written last.
        const bool mini = content.size() < kMiniCutoff;
        const uint32_t unit = mini ? kMiniSectorSize : ss_;
        const size_t need = units(content.size(), unit);
        if (need > 0) {
            chain = mini ? allocMini(need) : allocSectors(need);
            writeUnits(mini, chain, 0, static_cast<uint64_t>(need) * unit, 0,
                       reinterpret_cast<const uint8_t*>(content.data()), content.size(), {});
            mini ? flushMiniFat() : flushFat();
        }
        e = newEntry();
        e->name = std::u16string(name);
        e->type = kTypeStream;
        e->size = content.size();
        e->start = need > 0 ? chain[0] : kEndOfChain;
        std::vector<Entry*> touched;
        tree::insert(root_, e, touched);
        applyTreeChange(touched, {});
    });
    ++e->opens;
    return std::shared_ptr<StreamEntry>(new StreamEntry(shared_from_this(), e, std::move(chain)));
}

void CompoundFile::destroy(std::u16string_view name)
{
    checkWritable();
    if (name.empty() || name.size() > kMaxNameUnits)
        checkName(name);
    Entry* e = find(name);
    if (!e)
        fail(STG_E_FILENOTFOUND, "no element named " + quoted(name));
    // Everything the element holds, and the sectors of every stream in it.
    std::vector<Entry*> gone{e};
    for (size_t i = 0; i < gone.size(); ++i)
        if (gone[i]->type == kTypeStorage)
            for (Entry* c : tree::elements(gone[i]))
                gone.push_back(c);
    struct Chain {
        bool mini;
        std::vector<uint32_t> units;
    };
    std::vector<Chain> chains;
    for (Entry* g : gone) {
        if (g->opens > 0)
            fail(STG_E_ACCESSDENIED, "stream " + quoted(g->name) + " is open");
        if (g->type == kTypeStream && g->size > 0)
            chains.push_back({g->size < kMiniCutoff, streamChain(g)});
    }
    mutate([&] {
        std::vector<Entry*> touched;
        tree::erase(root_, e, touched);
        std::vector<uint32_t> freed;
        for (Entry* g : gone) {
            g->live = false;
            freed.push_back(g->slot);
        }
        applyTreeChange(touched, freed);
        // The sectors are free once nothing on disk refers to them.
        bool anyMini = false, anyRegular = false;
        for (const Chain& c : chains) {
            AllocTable& t = c.mini ? minifat_ : fat_;
            for (uint32_t u : c.units)
                t.release(u);
            (c.mini ? anyMini : anyRegular) = true;
        }
        if (anyRegular)
            flushFat();
        if (anyMini)
            flushMiniFat();
        for (Entry* g : gone)
            dropEntry(g);
    });
}

void CompoundFile::rename(std::u16string_view from, std::u16string_view to)
{
    rename({{std::u16string(from), std::u16string(to)}});
}

void CompoundFile::rename(const std::vector<std::pair<std::u16string, std::u16string>>& renames)
{
    checkWritable();
    // Everything is checked before anything changes.
    std::vector<Entry*> moving;
    for (const auto& [from, to] : renames) {
        if (from.empty() || from.size() > kMaxNameUnits)
            checkName(from);
        checkName(to);
        Entry* e = find(from);
        if (!e)
            fail(STG_E_FILENOTFOUND, "no element named " + quoted(from));
        if (std::find(moving.begin(), moving.end(), e) != moving.end())
            fail(STG_E_INVALIDPARAMETER, "the element " + quoted(from) + " is renamed twice in one change");
        moving.push_back(e);
    }
    for (size_t i = 0; i < renames.size(); ++i) {
        const std::u16string& to = renames[i].second;
        for (size_t j = 0; j < i; ++j)
            if (compareNames(to, renames[j].second) == 0)
                fail(STG_E_FILEALREADYEXISTS, "two elements would be named " + quoted(to));
        Entry* holder = find(to);
        if (holder && std::find(moving.begin(), moving.end(), holder) == moving.end())
            fail(STG_E_FILEALREADYEXISTS, "an element named " + quoted(to) + " already exists");
    }
    if (moving.empty())
        return;
    mutate([&] {
        std::vector<Entry*> touched;
        for (Entry* e : moving)
            tree::erase(root_, e, touched);
        for (size_t i = 0; i < moving.size(); ++i) {
            Entry* e = moving[i];
            e->name = renames[i].second;
            // The entry is written afresh under its new name, in a slot the
            // old tree does not use; the old slot keeps the old name until
            // the switch.
            e->onDisk = false;
            tree::insert(root_, e, touched);
        }
        applyTreeChange(touched, {});
    });
}

void CompoundFile::flush()
{
    if (readOnly_)
        return;
    checkWritable();
    mutate([&] { io_->sync(); });
}

void CompoundFile::commit()
{
    if (readOnly_)
        return;
    checkWritable();
    mutate([&] {
        // Clear what earlier changes left in free directory slots.
        std::vector<uint32_t> stale(staleSlots_.begin(), staleSlots_.end());
        size_t per = ss_ / kEntrySize;
        size_t i = 0;
        std::vector<uint8_t> buf;
        while (i < stale.size()) {
            size_t j = i + 1;
            while (j < stale.size() && stale[j] == stale[j - 1] + 1 && stale[j] / per == stale[i] / per)
                ++j;
            buf.assign((j - i) * kEntrySize, 0);
            for (size_t k = i; k < j; ++k)
                encodeEmptyEntry(buf.data() + (k - i) * kEntrySize);
            put(slotOffset(stale[i]), buf.data(), buf.size());
            i = j;
        }
        staleSlots_.clear();
        io_->sync();
    });
}

// ---------------------------------------------------------------------------
// Streams

uint64_t CompoundFile::unitOffset(bool mini, uint32_t unit) const
{
    if (!mini)
        return sectorOffset(unit);
    uint64_t pos = static_cast<uint64_t>(unit) * kMiniSectorSize;
    return sectorOffset(miniChain_[static_cast<size_t>(pos / ss_)]) + pos % ss_;
}

size_t CompoundFile::readStream(StreamEntry& s, uint64_t offset, uint8_t* out, size_t count)
{
    checkUsable();
    const Entry& e = *s.entry_;
    if (offset >= e.size || count == 0)
        return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, e.size - offset));
    bool mini = e.size < kMiniCutoff;
    uint32_t unit = mini ? kMiniSectorSize : ss_;
    // The chain was checked to cover the size when the stream was opened;
    // a read never goes past it all the same.
    if (units(offset + n, unit) > s.chain_.size())
        fail(STG_E_DOCFILECORRUPT, "corrupt file: stream " + quoted(e.name) + " is longer than its sector chain");
    try {
        size_t done = 0;
        while (done < n) {
            // One read per run of neighbouring units.
            uint64_t pos = offset + done;
            uint64_t fileOff = unitOffset(mini, s.chain_[static_cast<size_t>(pos / unit)]) + pos % unit;
            size_t len = std::min<size_t>(n - done, unit - static_cast<size_t>(pos % unit));
            while (done + len < n && len < kIoChunk) {
                uint64_t next = pos + len;
                if (unitOffset(mini, s.chain_[static_cast<size_t>(next / unit)]) != fileOff + len)
                    break;
                len += std::min<size_t>(n - done - len, unit);
            }
            size_t got = io_->read(fileOff, out + done, len);
            if (got < len)
                std::memset(out + done + got, 0, len - got);
            done += len;
        }
    } catch (const IoFailure& err) {
        failIo(err, false);
    }
    return n;
}

void CompoundFile::writeUnits(bool mini, const std::vector<uint32_t>& chain, uint64_t from, uint64_t to,
                              uint64_t offset, const uint8_t* data, size_t count, const std::string& old)
{
    uint32_t unit = mini ? kMiniSectorSize : ss_;
    auto compose = [&](uint64_t pos, uint8_t* dst, size_t len) {
        for (size_t i = 0; i < len;) {
            uint64_t p = pos + i;
            if (p >= offset && p < offset + count) {
                size_t k = static_cast<size_t>(std::min<uint64_t>(len - i, offset + count - p));
                std::memcpy(dst + i, data + (p - offset), k);
                i += k;
            } else if (p < old.size()) {
                uint64_t lim = std::min<uint64_t>(old.size(), p < offset ? offset : old.size());
                size_t k = static_cast<size_t>(std::min<uint64_t>(len - i, lim - p));
                std::memcpy(dst + i, old.data() + p, k);
                i += k;
            } else {
                uint64_t lim = p < offset ? offset : UINT64_MAX;
                size_t k = static_cast<size_t>(std::min<uint64_t>(len - i, lim - p));
                std::memset(dst + i, 0, k);
                i += k;
            }
        }
    };
    std::vector<uint8_t> buf;
    uint64_t pos = from;
    while (pos < to) {
        uint64_t fileOff = unitOffset(mini, chain[static_cast<size_t>(pos / unit)]) + pos % unit;
        size_t len = static_cast<size_t>(std::min<uint64_t>(to - pos, unit - pos % unit));
        while (pos + len < to && len < kIoChunk) {
            uint64_t next = pos + len;
            if (unitOffset(mini, chain[static_cast<size_t>(next / unit)]) != fileOff + len)
                break;
            len += static_cast<size_t>(std::min<uint64_t>(to - next, unit));
        }
        buf.resize(len);
        compose(pos, buf.data(), len);
        put(fileOff, buf.data(), len);
        pos += len;
    }
}

void CompoundFile::changeStream(StreamEntry& s, uint64_t newSize, uint64_t offset, const uint8_t* data, size_t count)
{
    checkWritable();
    Entry& e = *s.entry_;
    if (newSize / ss_ + 2 >= sectorLimit_)
        fail(STG_E_DOCFILETOOLARGE, "stream " + quoted(e.name) + ": the file would grow past the " +
                                        (major_ == 3 ? "2 GB limit of its format" : "limit of its format"));
    uint64_t oldSize = e.size;
    bool oldMini = oldSize < kMiniCutoff;
    bool newMini = newSize < kMiniCutoff;
    mutate([&] {
        if (oldMini == newMini) {
            uint32_t unit = newMini ? kMiniSectorSize : ss_;
            size_t have = s.chain_.size();
            size_t need = units(newSize, unit);
            uint64_t haveBytes = static_cast<uint64_t>(have) * unit;
            std::vector<uint32_t> chain = s.chain_;
            if (need > have) {
                // New units get their content before anything points to them.
                std::vector<uint32_t> fresh = newMini ? allocMini(need - have) : allocSectors(need - have);
                chain.insert(chain.end(), fresh.begin(), fresh.end());
                writeUnits(newMini, chain, haveBytes, static_cast<uint64_t>(need) * unit, offset, data, count, {});
            }
            // In place: the data, and the zeros of a gap after the old end.
            uint64_t lo = UINT64_MAX, hi = 0;
            if (count > 0) {
                lo = offset;
                hi = offset + count;
            }
            if (newSize > oldSize) {
                lo = std::min(lo, oldSize);
                hi = std::max(hi, newSize);
            }
            hi = std::min(hi, haveBytes);
            if (lo < hi)
                writeUnits(newMini, chain, lo, hi, offset, data, count, {});
            if (need > have) {
                if (have > 0) {
                    (newMini ? minifat_ : fat_).set(chain[have - 1], chain[have]);
                    newMini ? flushMiniFat(chain[have - 1]) : flushFat(chain[have - 1]);
                } else {
                    newMini ? flushMiniFat() : flushFat();
                }
                s.chain_ = std::move(chain);
            }
            if (newSize != oldSize) {
                e.size = newSize;
                e.start = need > 0 ? s.chain_[0] : kEndOfChain;
                writeEntry(&e);
                if (need < have) {
                    releaseUnits(newMini, s.chain_, need);
                    s.chain_.resize(need);
                }
            }
        } else {
            // Across the mini-stream cutoff: a fresh copy in the other kind of
            // sectors, switched to by the entry, then the old ones are freed.
            std::string old(static_cast<size_t>(std::min(oldSize, newSize)), '\0');
            if (!old.empty())
                readStream(s, 0, reinterpret_cast<uint8_t*>(old.data()), old.size());
            uint32_t unit = newMini ? kMiniSectorSize : ss_;
            size_t need = units(newSize, unit);
            std::vector<uint32_t> fresh = newMini ? allocMini(need) : allocSectors(need);
            writeUnits(newMini, fresh, 0, static_cast<uint64_t>(need) * unit, offset, data, count, old);
            newMini ? flushMiniFat() : flushFat();
            e.size = newSize;
            e.start = need > 0 ? fresh[0] : kEndOfChain;
            writeEntry(&e);
            std::vector<uint32_t> oldChain = std::move(s.chain_);
            s.chain_ = std::move(fresh);
            releaseUnits(oldMini, oldChain, 0);
        }
    });
}

StreamEntry::StreamEntry(std::shared_ptr<CompoundFile> file, Entry* entry, std::vector<uint32_t> chain)
    : file_(std::move(file)), entry_(entry), chain_(std::move(chain))
{
}

StreamEntry::~StreamEntry()
{
    --entry_->opens;
}

size_t StreamEntry::read(uint64_t offset, void* buffer, size_t count)
{
    return file_->readStream(*this, offset, static_cast<uint8_t*>(buffer), count);
}

void StreamEntry::write(uint64_t offset, const void* buffer, size_t count)
{
    if (count == 0)
        return;
    if (offset > UINT64_MAX - count)
        file_->fail(STG_E_DOCFILETOOLARGE, "stream " + quoted(entry_->name) + ": write beyond the largest size");
    file_->changeStream(*this, std::max(entry_->size, offset + count), offset, static_cast<const uint8_t*>(buffer),
                        count);
}

void StreamEntry::resize(uint64_t newSize)
{
    if (newSize == entry_->size)
        return;
    file_->changeStream(*this, newSize, newSize, nullptr, 0);
}

} // namespace volm::cfb
