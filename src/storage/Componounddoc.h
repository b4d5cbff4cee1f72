#pragma once
// The compound project file: one open compound file (TComponoundDocument),
// one open stream of it presented as the program's byte stream (TDocStream),
// and one element of an enumeration of the root storage (TDocElem).
//
// Everything works in direct mode: there is no transaction, every write is in
// the file when the call returns, and the commit operations only flush. The
// file is held with exclusive sharing while it is open. Names are 8-bit
// strings in Windows-1251, converted to and from the container's UTF-16.
//
// Failures raise EStorageError (storage/Storageerror.h) with the status code.

#include "common/Stream.h"
#include "storage/Storageerror.h"

#include <array>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace volm {

// Access modes (STGM bit values) and commit flags.
enum : uint32_t {
    STGM_READ = 0x0,
    STGM_WRITE = 0x1,
    STGM_READWRITE = 0x2,
    STGM_SHARE_EXCLUSIVE = 0x10,
    STGM_CREATE = 0x1000,
    STGM_DELETEONRELEASE = 0x04000000,
    STGC_OVERWRITE = 1,
    STGC_ONLYIFCURRENT = 2,
};

// Element types.
enum : int32_t { STGTY_STORAGE = 1, STGTY_STREAM = 2 };

namespace cfb {
class CompoundFile; // our own engine for the Compound File Binary format
class StreamEntry;  // one open stream of it
} // namespace cfb

struct TDocElem {
    int32_t type = 0;                       // STGTY_STORAGE or STGTY_STREAM
    std::string name;                       // Windows-1251
    uint64_t size = 0;
    std::array<uint8_t, 16> clsid{};
};

class TDocStream {
public:
    TDocStream();
    virtual ~TDocStream();
    TDocStream(const TDocStream&) = delete;
    TDocStream& operator=(const TDocStream&) = delete;

    // The attached byte stream, or null when nothing is attached.
    virtual TStream* Stream() const;

    // Commits and releases the attached stream; safe on an empty object.
    void Close();

    // Used by OpenStream and CreateStream: Close, then attach `stream`.
    void Attach(std::shared_ptr<cfb::StreamEntry> stream);

private:
    std::unique_ptr<TStream> adapter_;
    std::shared_ptr<cfb::StreamEntry> stream_;
};

class TComponoundDocument {
public:
    // Opens an existing compound file, or creates it (see the modes above);
    // an empty name adds STGM_DELETEONRELEASE. A mode without STGM_WRITE or
    // STGM_READWRITE opens an existing file for reading only (a shared lock;
    // nothing is ever written) and never creates one. Raises EStorageError.
    TComponoundDocument(const std::string& fileName, uint32_t mode);
    virtual ~TComponoundDocument();
    TComponoundDocument(const TComponoundDocument&) = delete;
    TComponoundDocument& operator=(const TComponoundDocument&) = delete;

    // Clears `list`, then appends every element of the root storage in the
    // container's order (shorter names first, then by upper-cased name).
    void EnumElements(std::list<TDocElem>& list);

    // Opens a root-level stream (mode | STGM_SHARE_EXCLUSIVE) into `target`.
    // On failure `target` keeps what it had.
    void OpenStream(TDocStream& target, const std::string& name, uint32_t mode);

    // Creates a root-level stream: with STGM_CREATE an existing one is
    // replaced by an empty one, without it an existing name fails.
    void CreateStream(TDocStream& target, const std::string& name, uint32_t mode);
    // Creates a root-level stream that holds `content` from its first moment
    // (whole or not at all, also when the process dies meanwhile); an
    // existing name fails.
    void CreateStream(TDocStream& target, const std::string& name, std::string_view content);

    void DestroyElement(const std::string& name);

    // Renames root-level elements as one change (the file holds all old
    // names or all new ones); elements may exchange names, and an open
    // stream stays open.
    void RenameElements(const std::vector<std::pair<std::string, std::string>>& renames);

    // Makes everything written so far durable.
    void Commit();
    // The same, writing nothing (Commit also clears free directory slots).
    void Flush();

    cfb::CompoundFile& File() { return *file_; }

private:
    std::shared_ptr<cfb::CompoundFile> file_;
};

} // namespace volm
