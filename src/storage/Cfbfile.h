#pragma once
// Our own reader and writer of the Compound File Binary format.
//
// CompoundFile is one open compound file: version 3 (512-byte sectors) or
// version 4 (4096-byte sectors) when reading, version 3 for new files. It
// works in direct mode: every change is in the file when the call returns.
// Opening reads the header, the allocation tables and the directory, never
// the data of a stream nobody opens.
//
// Every change is written in an order that keeps the file whole at every
// moment: new data first, then the tables that point to it, and last one
// write in place (an entry or the header) that makes the change live. A
// process that dies in the middle leaves the file as it was before the change
// or as it is after it (at worst with a few sectors nobody uses, which the
// next writer reclaims).
//
// Failures raise EStorageError with the file's name, the cause and the
// status code. After a write fails, the object refuses further work: what it
// holds in memory may then be ahead of the file, and the file itself is whole.

#include "storage/Cfbdir.h"
#include "storage/Cfbfat.h"
#include "storage/Cfbio.h"
#include "storage/Storageerror.h"

#include <array>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace volm::cfb {

class StreamEntry;

// One element of a storage, as enumeration reports it.
struct ElementInfo {
    std::u16string name;
    uint8_t type = 0; // kTypeStorage or kTypeStream
    uint64_t size = 0;
    std::array<uint8_t, 16> clsid{};
};

class CompoundFile : public std::enable_shared_from_this<CompoundFile> {
public:
    enum class Access { ReadOnly, ReadWrite };

    // Opens an existing compound file. ReadOnly takes a shared lock and never
    // writes; ReadWrite takes an exclusive lock, and refuses a file whose
    // tables are inconsistent (one that could not be written safely).
    static std::shared_ptr<CompoundFile> open(const std::string& path, Access access);
    // Creates a new, empty file; with `replace` an existing file is replaced,
    // otherwise an existing file is an error (STG_E_FILEALREADYEXISTS).
    static std::shared_ptr<CompoundFile> create(const std::string& path, bool replace);
    // A new, empty file with no name that vanishes when released.
    static std::shared_ptr<CompoundFile> createTemporary();
    // The same over a file layer the caller provides; `name` is what
    // messages call the file.
    static std::shared_ptr<CompoundFile> open(std::unique_ptr<FileIo> io, const std::string& name, Access access);
    static std::shared_ptr<CompoundFile> create(std::unique_ptr<FileIo> io, const std::string& name);

    // True when `path` is a readable file that starts like a compound file.
    static bool isCompoundFile(const std::string& path);

    ~CompoundFile();
    CompoundFile(const CompoundFile&) = delete;
    CompoundFile& operator=(const CompoundFile&) = delete;

    const std::string& path() const { return path_; }
    int version() const { return major_; }
    bool readOnly() const { return readOnly_; }
    // True after a write failed: the file refuses every use until it is
    // closed and opened again.
    bool writeFailed() const { return failed_; }
    // The named file is removed when this object is released.
    void setDeleteOnRelease(bool on) { deleteOnRelease_ = on; }
    // The file layer (tests make it fail on purpose).
    FileIo& io() { return *io_; }

    // The root storage and the elements of a storage, in tree order.
    Entry* root() { return root_; }
    std::vector<ElementInfo> list(const Entry* storage = nullptr) const;
    Entry* find(std::u16string_view name, Entry* storage = nullptr);

    // Opens a stream of the root (or of `storage`). A stream can be open only
    // once at a time. STG_E_FILENOTFOUND when missing or not a stream.
    std::shared_ptr<StreamEntry> openStream(std::u16string_view name, Entry* storage = nullptr);
    // Creates a root-level stream. With `replace` an existing element of that
    // name is replaced by an empty stream; otherwise it is an error.
    std::shared_ptr<StreamEntry> createStream(std::u16string_view name, bool replace);
    // Creates a root-level stream that holds `content` from its first
    // moment: a process that dies while it is created leaves no stream, or
    // the whole one. An existing name is an error.
    std::shared_ptr<StreamEntry> createStreamWith(std::u16string_view name, std::string_view content);
    // Removes a root-level element (a storage with everything in it).
    void destroy(std::u16string_view name);
    // Renames root-level elements in one change: the file holds every old
    // name or every new one, whenever it is cut short. A new name may be one
    // that another element of the same call gives up, so elements can
    // exchange names. Open streams stay open under their new names.
    // STG_E_FILENOTFOUND for a missing element, STG_E_FILEALREADYEXISTS when
    // a new name is taken by an element that keeps its name (or is given
    // twice), STG_E_INVALIDPARAMETER for an element named twice.
    void rename(const std::vector<std::pair<std::u16string, std::u16string>>& renames);
    void rename(std::u16string_view from, std::u16string_view to);
    // Makes everything written so far durable.
    void commit();
    // The same without clearing what earlier changes left in free directory
    // slots: it writes nothing, so it can't undo a change that went live.
    void flush();

    // Raises STG_E_INVALIDNAME for a name the format cannot hold.
    void checkName(std::u16string_view name) const;

private:
    friend class StreamEntry;
    CompoundFile(std::unique_ptr<FileIo> io, std::string name, bool readOnly);

    [[noreturn]] void fail(uint32_t status, const std::string& cause) const;
    // A failed write marks the object unusable (memory may be ahead of the file).
    [[noreturn]] void failIo(const IoFailure& e, bool writing);
    void checkWritable();
    void checkUsable() const;
    // Runs a change; any failure inside it marks the object unusable.
    template <class F> void mutate(F&& f);
    // Every write to the file goes through here.
    void put(uint64_t offset, const void* data, size_t count);

    // Opening.
    void load(bool forWriting);
    void loadFat(const uint8_t* header);
    void loadDirectory(const uint8_t* header);
    void loadMini(const uint8_t* header);
    void decodeEntry(const uint8_t* raw, Entry& e) const;
    void validateForWriting();
    void initEmpty();
    void readSectors(const std::vector<uint32_t>& sectors, uint8_t* out);
    uint64_t sectorOffset(uint32_t s) const { return (static_cast<uint64_t>(s) + 1) * ss_; }
    size_t miniUnits() const; // mini sectors the mini stream holds

    // Allocation. New sectors are marked used in memory; the table pages go
    // out with flushTable, the page that links them into a live chain last.
    uint32_t allocSector();
    std::vector<uint32_t> allocSectors(size_t n); // chained, ending the chain
    std::vector<uint32_t> allocMini(size_t n);
    void extendFat();
    void ensureMiniCapacity(size_t units);
    void releaseUnits(bool mini, const std::vector<uint32_t>& chain, size_t keep);
    void writePage(const AllocTable& table, size_t page, uint32_t sector);
    void flushTable(AllocTable& table, const std::vector<uint32_t>& pageSectors, size_t linkEntry);
    void flushFat(size_t linkEntry = SIZE_MAX) { flushTable(fat_, fatSectors_, linkEntry); }
    void flushMiniFat(size_t linkEntry = SIZE_MAX) { flushTable(minifat_, minifatChain_, linkEntry); }
    void writeHeader();
    void writeDifatSector(size_t k);

    // The directory.
    uint32_t takeSlot();
    void growDirectory();
    uint64_t slotOffset(uint32_t slot) const;
    void writeEntries(std::vector<Entry*> entries);
    void writeEntry(Entry* e) { writeEntries({e}); }
    void applyTreeChange(const std::vector<Entry*>& touched, const std::vector<uint32_t>& freedSlots);
    Entry* newEntry();
    void dropEntry(Entry* e);

    // Streams.
    std::vector<uint32_t> streamChain(const Entry* e);
    uint64_t unitOffset(bool mini, uint32_t unit) const;
    size_t readStream(StreamEntry& s, uint64_t offset, uint8_t* out, size_t count);
    void changeStream(StreamEntry& s, uint64_t newSize, uint64_t offset, const uint8_t* data, size_t count);
    // Writes stream bytes [from, to) through `chain`: the data where it
    // falls, `old` content below its size, zeros elsewhere.
    void writeUnits(bool mini, const std::vector<uint32_t>& chain, uint64_t from, uint64_t to, uint64_t offset,
                    const uint8_t* data, size_t count, const std::string& old);

    std::unique_ptr<FileIo> io_;
    std::string path_;
    bool readOnly_ = false;
    bool deleteOnRelease_ = false;
    bool ownsPath_ = false;
    bool failed_ = false;
    bool damaged_ = false; // read with faults tolerated: never written
    bool misordered_ = false; // a tree not in the name order: lookups fall back to a scan

    int major_ = 3;
    uint32_t ss_ = 512;
    uint32_t shift_ = 9;
    uint64_t fileSectors_ = 0;  // sectors present in the file when it was opened
    uint32_t sectorLimit_ = 0;
    std::array<uint8_t, 512> header_{};

    AllocTable fat_;
    std::vector<uint32_t> fatSectors_;
    std::vector<uint32_t> difatSectors_;
    AllocTable minifat_;
    std::vector<uint32_t> minifatChain_;
    std::vector<uint32_t> miniChain_; // the sectors of the mini stream

    std::vector<uint32_t> dirChain_;
    std::vector<Entry*> bySlot_;
    std::set<uint32_t> freeSlots_;
    std::set<uint32_t> staleSlots_; // free slots whose old content is still on disk
    std::vector<std::unique_ptr<Entry>> entries_;
    Entry* root_ = nullptr;
};

// One open stream. Holds its file open; closing it (or destroying it) frees
// the stream for another open.
class StreamEntry {
public:
    ~StreamEntry();
    StreamEntry(const StreamEntry&) = delete;
    StreamEntry& operator=(const StreamEntry&) = delete;

    const std::u16string& name() const { return entry_->name; }
    uint64_t size() const { return entry_->size; }
    // Reads up to `count` bytes at `offset`; fewer only at the end.
    size_t read(uint64_t offset, void* buffer, size_t count);
    // Writes at `offset`, extending the stream (a gap reads as zeros).
    void write(uint64_t offset, const void* buffer, size_t count);
    // Truncates or extends (with zeros).
    void resize(uint64_t newSize);
    // Direct mode: the data is in the file already; nothing more to do.
    void commit() {}
    CompoundFile& file() { return *file_; }

private:
    friend class CompoundFile;
    StreamEntry(std::shared_ptr<CompoundFile> file, Entry* entry, std::vector<uint32_t> chain);
    std::shared_ptr<CompoundFile> file_;
    Entry* entry_;
    std::vector<uint32_t> chain_; // exactly the units (sectors or mini sectors) the size needs
};

} // namespace volm::cfb
