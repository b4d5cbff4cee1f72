#pragma once
// The archive reader: examines a ZIP archive from its end record, walks the
// central directory and extracts the selected members below ExtractDir, or
// into memory. Generation reads the reader template into memory with TUnJar
// (ExtractToMemory); Extract, the folder extractor, is the interface the
// tests and benchmarks use.
//
// Member names use "/" (a "\" in a stored name is read as "/" too). A member
// whose name would lead outside ExtractDir (a ".." or "." component, or a name that
// is still absolute after the drive letter and leading separator are dropped)
// is reported with 25235 and skipped; nothing is ever written outside
// ExtractDir through a member name.

#include "archive/Zipcommon.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <sys/types.h>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace volm {

enum TOverwriteMode { omOverwrite, omSkip };
enum TCpuType { cptAuto, cpt80286, cpt80386, cpt80486 };

class TUnBase : public TZipCommon {
public:
    bool UseStoredDirs = true;        // recreate each member's folder below ExtractDir
    bool CreateStoredDirs = false;    // create folders for directory members
    bool RestoreFileAttr = true;      // apply the stored read-only attribute
    bool ConfirmOverwrites = false;   // ask OnConfirmOverwrite before replacing a file
    TOverwriteMode OverwriteMode = omOverwrite;
    TCpuType CpuType = cptAuto;       // kept for the settings; no effect

    // Asked, with the output path, before an existing file is replaced when
    // ConfirmOverwrites is on; false keeps the file. Without it files are replaced.
    std::function<bool(const std::string& path)> OnConfirmOverwrite;
    // Told the member name and its output path before an output file is created.
    std::function<void(const std::string& member, const std::string& path)> OnBeginFile;

    // Setting the archive examines it. A path that names no existing file
    // leaves ArcType() == atNA and clears the stored path.
    void SetArchiveFile(const std::string& path);
    const std::string& ArchiveFile() const { return archiveFile_; }
    // An archive held in memory (it must outlive the reader's use of it);
    // `name` stands for its file in messages and decides atJar by its
    // extension.
    void SetArchiveData(std::span<const uint8_t> data, const std::string& name);

    // The output root, always kept with a trailing "/"; empty means the
    // archive's own folder.
    void SetExtractDir(const std::string& path);
    const std::string& ExtractDir() const { return extractDir_; }

    // Extracts every selected member in archive order; returns the number of
    // output files created. Failures of single members go to OnError and to
    // the run's record (RaiseFailures). Output files are written in place,
    // through the common write-all loop: a member that fails part-way stays
    // as far as it was written.
    virtual int Extract() = 0;

protected:
    virtual void examine() = 0;

    std::string archiveFile_;
    std::string extractDir_;
    std::span<const uint8_t> data_;   // the archive, when it is held in memory
    bool inMemory_ = false;
};

// A member extracted into memory.
struct TExtractedMember {
    std::string name;   // as stored, "/" separated
    std::string bytes;
};

class TUnZip : public TUnBase {
public:
    TUnZip();
    ~TUnZip() override;
    int Extract() override;
    // Extracts every selected file member in archive order into memory, with
    // the same checks and reports as Extract (a member that fails is left
    // out); directory members are skipped.
    std::vector<TExtractedMember> ExtractToMemory();

    // True when `name` (a member name, "/" separated) is selected by
    // FileSpec and not left out by ExcludeSpec. An empty FileSpec selects all.
    bool Selected(const std::string& name) const;

    // The output path of a member name below `extractDir`, or "" when the
    // name would lead outside it.
    static std::string OutputPath(const std::string& extractDir, const std::string& name,
                                  bool useStoredDirs);

    // Reading members into memory, for containers whose members are parsed
    // rather than extracted (EPUB, zipped FB2). Names here are the stored
    // bytes, no code-page translation ("\" read as "/"); FileSpec and
    // ExcludeSpec play no part. Both raise EArchiveError naming the archive
    // (and the member) when the archive is not readable.
    //
    // The members' stored names in central-directory order; the walk also
    // keeps where each name's entry is, so that ReadMember finds a member
    // without walking the directory again.
    std::vector<std::string> StoredNames();
    // The whole data of the member stored as `storedName` (the first of that
    // name), checked against its CRC-32. A member is refused before anything
    // is inflated when its directory entry claims more than MaxMemberSize
    // bytes, and while inflating once its data runs past MaxMemberSize or past
    // MaxInflateRatio times the size its directory entry declares: a member
    // that claims little and inflates to much is not read whole.
    std::string ReadMember(const std::string& storedName);
    uint64_t MaxMemberSize = 200u << 20;
    uint64_t MaxInflateRatio = 10;

protected:
    void examine() override;

private:
    struct TItem {
        zip::TCentralHeader header;
        std::string name;
    };

    // Reads the directory entry at `pos`: its header (ZIP64 sizes and offset
    // applied) and its stored name, cut to 255 bytes. False when no entry is there.
    bool readEntry(int fd, uint64_t pos, zip::TCentralHeader& header, std::string& raw) const;
    // Opens the archive for reading members into memory, or raises.
    int openForMembers();

    bool maskMatches(const std::string& mask, const std::string& name) const;
    bool readAt(int fd, uint64_t pos, void* buf, size_t len) const;
    // Reads the central directory into the list of selected members.
    std::vector<TItem> listItems(int fd, uint32_t& maxDate);
    // Reads up to `len` bytes at `pos` of the archive (file or memory).
    ssize_t readChunk(int fd, uint64_t pos, uint8_t* buf, size_t len) const;
    // Reads a member's local header: where its data starts and (when asked)
    // the date it stores. False when no local header is at the entry's offset.
    bool readLocal(int fd, const zip::TCentralHeader& h, uint64_t& dataStart, uint32_t* dosDateTime = nullptr) const;

    // How decoding a member's data ended.
    enum class TDecodeEnd {
        Done,       // all stored data copied, or the deflated stream's end reached
        Capped,     // the inflated data reached the cap
        Short,      // the deflated data ends before its stream does
        Unreadable, // the archive ends (or can't be read) inside the data
        Damaged,    // the deflated data is corrupt
        NoMemory,   // no inflate stream could be had
    };
    // Decodes the data of a stored or deflated member, which starts at
    // `dataStart`, into `emit`; inflating stops after `cap` bytes.
    TDecodeEnd decodeData(int fd, uint64_t dataStart, const TItem& item, uint64_t cap,
                          const std::function<void(const uint8_t*, size_t)>& emit);
    // Decodes a member for extraction, into `emit`, up to the size its entry
    // declares; false when its method is not supported (reported).
    bool decodeItem(int fd, uint64_t dataStart, const TItem& item,
                    const std::function<void(const uint8_t*, size_t)>& emit);
    void extractItem(int fd, const TItem& item, const std::string& extractDir,
                     uint32_t maxDate, int& count);

    // One inflate stream and one pair of chunk buffers serve every member.
    struct TInflater;
    std::unique_ptr<TInflater> inflater_;
    uint64_t archiveSize_ = 0;
    uint64_t centralStart_ = 0;
    // Where each stored name's directory entry is (the first of a name).
    std::unordered_map<std::string, uint64_t> index_;
    bool indexed_ = false;
};

// The template reader.
class TUnJar : public TUnZip {};

} // namespace volm
