#pragma once
// What the archive reader (TUnJar) and the jar writer (TJar) share: file
// masks, the date policy, the code-page switch, the error notification and
// the progress hook, plus the ZIP record layout both of them use.
//
// Paths on this system use "/". The archive components also accept "\" in
// the paths they are given (ArchiveFile, ExtractDir, the masks' folder parts)
// and treat it as "/"; inside archives both "/" and "\" separate folders.

#include "common/Codepage.h"
#include "common/Endian.h"
#include "common/Errors.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

// The failures the archive components report through OnError: the one table
// of each code's name, number and message.
#define VOLM_ARCHIVE_ERRORS(X)                           \
    X(zeNoFile, 25192, "File not found")                 \
    X(zeOpen, 25235, "Error opening file")               \
    X(zeBadHeader, 25114, "Bad file header")             \
    X(zeMethod, 25326, "Unsupported compression method") \
    X(zeWrite, 25136, "Error writing to file")           \
    X(zeClose, 25138, "Error closing file")              \
    X(zeCrc, 25151, "File fails CRC check")              \
    X(zeInvalidDir, 25158, "Invalid directory")          \
    X(zeNothingToDo, 25268, "Nothing to do")             \
    X(zeDiskFull, 25160, "Disk full")                    \
    X(zeTooLarge, 25161, "Too large to read into memory")

enum : int {
#define VOLM_ARCHIVE_ERROR_CODE(name, code, text) name = code,
    VOLM_ARCHIVE_ERRORS(VOLM_ARCHIVE_ERROR_CODE)
#undef VOLM_ARCHIVE_ERROR_CODE
};

// The message text of a failure code ("" for an unknown code).
std::string zipErrorMessage(int code);

// A failed archive run as its caller receives it: code() is the archive code
// of the first report, the message names the file or member, the code's text
// and the detail.
class EArchiveError : public Error {
public:
    EArchiveError(int code, const std::string& message) : Error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
};

enum TArcType { atNA, atZip, atJar };
enum TDateAttribute { daFileDate, daSysDate, daMaxFileDate };

// Where a progress notification comes from.
enum TProgressStage { psScan, psPack, psExtract };

class TZipCommon;

// Failure notification: component, file or member name, detail text,
// volume text ("0"), code. The message text is zipErrorMessage(code).
using TOnError = std::function<void(TZipCommon& sender, const std::string& fileName,
                                    const std::string& extendedMsg,
                                    const std::string& volumeId, int code)>;

// Called between directory entries, between packed or extracted members and
// between data chunks, so that a front end can keep itself responsive.
using TOnProgress = std::function<void(TProgressStage stage, const std::string& name)>;

class TZipCommon {
public:
    virtual ~TZipCommon() = default;

    std::vector<std::string> FileSpec;     // masks of what to process
    std::vector<std::string> ExcludeSpec;  // masks of what to leave out
    bool RecurseDirs = true;
    TDateAttribute DateAttribute = daFileDate;
    bool TranslateOemChar = true;          // names in archives use the OEM code page
    TOnError OnError;
    TOnProgress OnProgress;

    TArcType ArcType() const { return arcType_; }

    // What the last run (Extract, Compress) reported, whether or not OnError
    // is attached: the number of reports, and the first one as text
    // ("<file or member>: <message> (<detail>)", "" when there was none).
    size_t FailureCount() const { return failureCount_; }
    const std::string& FirstFailure() const { return firstFailure_; }
    // Raises EArchiveError for the last run when it reported anything: the
    // first report's code, and the message "<context>: <first report>" with
    // how many more reports followed. Does nothing after a clean run.
    void RaiseFailures(const std::string& context) const;

protected:
    // Reports a failure: to OnError when attached, and to the run's record.
    void reportError(const std::string& fileName, int code, const std::string& extendedMsg = {});
    void progress(TProgressStage stage, const std::string& name);
    // Starts a run's record afresh.
    void resetFailures();

    TArcType arcType_ = atNA;

private:
    size_t failureCount_ = 0;
    int firstCode_ = 0;
    std::string firstFailure_;
};

// Wildcard test, case-insensitive (ASCII): "*" any run, "?" one character.
bool wildcardMatch(std::string_view mask, std::string_view name);

// "\" becomes "/".
std::string slashPath(std::string_view path);

// Folder part ("a/b/" of "a/b/c", "" when there is none) and last component.
std::string folderPart(std::string_view path);
std::string namePart(std::string_view path);

// DOS date and time: high word date, low word time, local time, two-second
// resolution. Times before 1980 become 1980-01-01 00:00.
uint32_t toDosDateTime(time_t t);
time_t fromDosDateTime(uint32_t dosDateTime);

namespace zip {

inline constexpr uint32_t kLocalSig = 0x04034B50;
inline constexpr uint32_t kCentralSig = 0x02014B50;
inline constexpr uint32_t kEndSig = 0x06054B50;
inline constexpr size_t kLocalSize = 30;
inline constexpr size_t kCentralSize = 46;
inline constexpr size_t kEndSize = 22;
// ZIP64: the end record of the central directory and the locator that
// points to it, which stand (in that order) before the end record.
inline constexpr uint32_t kZip64EndSig = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSig = 0x07064B50;
inline constexpr size_t kZip64EndSize = 56;
inline constexpr size_t kZip64LocatorSize = 20;

// The fields of a central-directory header (the local header holds the
// same ones from "version needed" to "extra field length").
struct TCentralHeader {
    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint32_t dosDateTime = 0;     // date in the high word, time in the low
    uint32_t crc = 0;
    uint64_t compressedSize = 0;
    uint64_t uncompressedSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    uint16_t commentLength = 0;
    uint16_t diskStart = 0;
    uint16_t internalAttr = 0;
    uint32_t externalAttr = 0;
    uint64_t localOffset = 0;

    void parse(const uint8_t* p);              // 46 bytes, signature included
    void write(uint8_t* p) const;              // 46 bytes
    void writeLocal(uint8_t* p) const;         // the 30-byte local header
};

// The 22-byte end record of a one-disk archive without a comment.
void writeEnd(uint8_t* p, uint16_t entries, uint32_t cdSize, uint32_t cdStart);

} // namespace zip
} // namespace volm
