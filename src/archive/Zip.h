#pragma once
// The archive writer of the folder-packing interface: scans a folder depth
// first, packs every qualifying file into a ZIP archive built in a temporary
// file outside the scanned folder, puts the archive in place under its name
// and, with swMove, deletes the packed files. This folder packer deflates
// with zlib, streaming each file. Generation does not use it: a book's jar
// is put together in memory (Deflate, Zipwriter, Packpool) with the jar
// settings of TJarSettings; tests and benchmarks pack folders with TJar and
// measure that packing against it.
//
// Written archives carry no directory entries, no extra fields and no data
// descriptors; every member is stored or raw-deflated.

#include "archive/Deflate.h"
#include "archive/Zipcommon.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace volm {

// File attributes, as the archive's attribute set knows them. On this
// system a plain file is "archive", a file without write permission is also
// "read-only", a name starting with "." is "hidden", a folder is "directory".
enum TFileAttr {
    fsZeroAttr, fsReadOnly, fsHidden, fsSysFile, fsVolumeID, fsDirectory,
    fsArchive, fsCompressed, fsEncrypted
};
using TFileAttrs = std::set<TFileAttr>;

enum TStoredDirNames { sdRelative, sdAbsolute, sdNone };
enum TSwitch { swAdd, swMove };
enum TDeleteOptions { doAllowUndo, doFinal };
enum TCompressionMethod { cmTempFile, cmInMemory };

class TCompBase : public TZipCommon {
public:
    bool IncludeHiddenDirs = false;
    TFileAttrs Attributes{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
    TFileAttrs AttributesEx;
    bool StoreEmptySubDirs = false;   // entries for empty folders are not written
    TStoredDirNames StoredDirNames = sdRelative;
    TCompressMethod CompressMethod = cmDeflate;
    TDeflateType DeflateType = dtDeflateN;
    std::vector<std::string> StoreFilesOfType = DefaultStoredExtensions();   // extensions stored, not deflated
    TSwitch Switch = swAdd;
    // There is no recycle bin here: doAllowUndo deletes the packed files
    // plainly, as doFinal does.
    TDeleteOptions DeleteOptions = doAllowUndo;
    bool VerifyBeforeDelete = false;  // every deleted file has an entry in any case
    // The archive is always built in a temporary file; cmInMemory is kept
    // for the settings and behaves like cmTempFile.
    TCompressionMethod CompressionMethod = cmTempFile;
    std::string TempDir;              // empty or missing: the system's temporary folder

    // The target file; "\" becomes "/", a name without extension gets DefaultExt.
    void SetArchiveFile(const std::string& path);
    const std::string& ArchiveFile() const { return archiveFile_; }
    // Kept with a leading ".", at most 4 characters, lower case.
    void SetDefaultExt(const std::string& ext);
    const std::string& DefaultExt() const { return defaultExt_; }

    // Builds the archive; returns the number of files packed, 0 when no
    // archive was put in place. The archive is built in a safe write's
    // temporary file in TempDir (TSafeFile) and renamed, or copied across
    // file systems, over ArchiveFile. Failures go to OnError and to the run's
    // record (RaiseFailures).
    int Compress();

    // How a member of this name is packed: stored (dtDeflateS) with cmStore
    // or an extension of StoreFilesOfType, else DeflateType.
    TDeflateType MemberDeflateType(const std::string& name) const
    {
        return volm::MemberDeflateType(name, CompressMethod, DeflateType, StoreFilesOfType);
    }

protected:
    struct TSource {
        std::string path;        // full path
        std::string name;        // stored name, before code-page translation
        uint64_t size = 0;
        uint32_t attrs = 0;      // the attribute bits (0x01 read-only ... 0x4000 encrypted)
        time_t mtime = 0;
    };
    class TOutput;

    // Packs one file at the end of the archive; false when the archive
    // cannot be written any more (the failure is reported).
    virtual bool packFile(TOutput& out, const TSource& src, int& packed, time_t maxTime) = 0;
    // Writes what follows the members; false on a write failure (reported).
    virtual bool closeArchive(TOutput& out) = 0;
    virtual void resetArchive() = 0;

    std::string archiveFile_;
    std::string defaultExt_ = ".jar";
};

class TZipBase : public TCompBase {
public:
    TZipBase();
    ~TZipBase() override;

protected:
    bool packFile(TOutput& out, const TSource& src, int& packed, time_t maxTime) override;
    bool closeArchive(TOutput& out) override;
    void resetArchive() override { central_.clear(); }

private:
    struct TEntry {
        zip::TCentralHeader header;
        std::string name;
    };
    std::vector<TEntry> central_;
    // One deflate stream and one pair of buffers serve every file of a run.
    struct TDeflater;
    std::unique_ptr<TDeflater> deflater_;
    std::vector<uint8_t> inBuf_, outBuf_;
};

// The jar writer, with the defaults of jars.
class TJar : public TZipBase {
public:
    TJar();
};

} // namespace volm
