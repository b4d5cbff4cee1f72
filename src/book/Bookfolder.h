#pragma once
// The book folder (project folder + book name + "/") as a build finds and
// leaves it. A build keeps to its own files there:
// - the book name must name a folder of its own beside the project file;
// - the folder must be a real folder, not a symbolic link, and every output
//   the build replaces (the jar, the jad, manifest.mf, the volumes' jars and
//   jads) a regular file, not a link: through a link the build would write
//   over, or remove, a file that is not the book's;
// - one build at a time: the folder is locked while the build runs;
// - with the folder locked, the temporary files of the outputs that a killed
//   build left (".Tales.jar.volm-XXXXXX") are stale and removed;
// - the outputs of a build go in as one set: each is written beside the old
//   ones under its staged name (".Tales-2.jar.volm-staged"), then the record
//   of the set (".Tales.volm-set", the names of its outputs, one a line) is
//   written in one step, then every staged output is renamed over its old
//   one, the outputs of earlier builds that are not in the set are removed,
//   and last the record. A reader of the folder finds the current set so:
//   with a record, the outputs it names, each under its staged name while
//   that is there, else under its own; without one, the outputs as they
//   stand. Killed before the record was written, a build leaves the old set
//   whole (and staged files, which are stale); killed after, the new set,
//   which the next build, or a tidy-up (volm-cli list), puts in place;
// - the jar and jad are named by the book name in plain letters (JarFileStem:
//   "Vojna_i_mir.jar" for "Война и мир"); the outputs of an earlier build
//   named by the book name as it stands count as outputs too, and go;
// - everything else is the user's: packed into the jar, never changed. Only
//   regular files that really lie in the folder are packed: each is opened
//   relative to the folder's descriptor, never through a symbolic link;
//   links, FIFOs, sockets and devices are left out and named in the report.
// Nothing else in the folder is created, changed or removed.

#include "archive/Deflate.h"
#include "common/Errors.h"
#include "common/Fd.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

// A file the user put into the book folder, as the jar holds it.
struct TUserFile {
    std::string path;             // on disk
    std::string relative;         // on disk, within the book folder ("sub/notes.txt")
    std::string name;             // stored name
    uint32_t attributes = 0x20;   // archive; read-only 0x01, hidden 0x02
};

// The largest record of a set that is read.
inline constexpr uint64_t kMaxSetRecord = 64 * 1024;
// Reads the record of a set of the outputs named by `stem`: true, with their
// names, when every line of `text` (each ended by a line feed) names one of
// them, once; false (and no names) for anything else.
bool ParseSetRecord(std::string_view text, const std::string& stem, std::vector<std::string>& names);

// The book folder (or the folder it is made in) can't be written: the build
// may go to another folder. path() is the folder, code() the cause.
class EFolderNotWritable : public EFileError {
public:
    using EFileError::EFileError;
};

class TBookFolder {
public:
    // The book folder of `projectPath`, made in `outFolder` when one is given
    // (BookFolder). Refuses, naming the project file, a book name that is "."
    // or "..", and a project file without extension (its book folder would be
    // the file itself). Writes nothing.
    explicit TBookFolder(const std::string& projectPath, const std::string& outFolder = {});

    const std::string& BookName() const { return book_; }
    const std::string& Path() const { return path_; }   // ends in "/"
    // The jar's and jad's name without extension (JarFileStem of the book name).
    const std::string& FileStem() const { return stem_; }

    // Makes the folder (an existing one is used as it is) and locks it until
    // this object goes; refuses a folder that can't be written (or made) with
    // EFolderNotWritable, a folder that is a symbolic link or a file,
    // a folder another build holds, and an output that is a link or not a
    // regular file; then removes the stale temporary files of the outputs.
    // Raises volm::Error naming the folder or the file and the cause.
    void Open();

    // The files the user put into the folder, in the order of the folder
    // listing, depth first: hidden and linked folders are not entered; the
    // build's outputs and temporary files, and files that clash with the
    // jar's own members (`ownMembers`, and texts/itm1 to texts/itmN of the
    // book's `topics`, or texts/itm1 of an empty book) are left out. A clash
    // is the same name (letter case aside), or one name being a folder of the
    // other. Stored names follow `settings` (TranslateOemChar). With
    // `pieces` (the words layout) the pieces texts/itmN_1, texts/itmN_2, ...
    // of those texts are the book's too. What is no regular file (a symbolic
    // link, to a file or a folder, a FIFO, a socket, a device) is left out
    // and, when `skipped` is given, named there with its kind
    // ("/books/Tales/passwd (a symbolic link)").
    std::vector<TUserFile> UserFiles(const std::vector<std::string>& ownMembers, size_t topics,
                                     const TJarSettings& settings, bool pieces = false,
                                     std::vector<std::string>* skipped = nullptr) const;

    // The bytes of a user's file, opened relative to the folder, every part
    // of its path with O_NOFOLLOW, and read only when it is a regular file of
    // at most `maxSize` bytes. Raises EFileError naming the file and the
    // cause (a link on the way, a file that is no longer regular, too large).
    std::string ReadUserFile(const TUserFile& file, uint64_t maxSize) const;

    // A scratch file in the folder (OpenScratchFile) that goes with its
    // descriptor, for the build's work that does not fit in memory.
    int OpenScratch() const;

    // Where the build writes its output `name` ("Tales-2.jar", "manifest.mf")
    // until the set is put in place.
    std::string StagedPath(const std::string& name) const;
    // Puts the staged outputs `names` in place as the folder's set (above);
    // an output of an earlier build that is not among them is removed.
    // Raises volm::Error naming the file when the record can't be written
    // (nothing has changed then) or an output can't be put in place (the
    // record stays, and the next build finishes the set).
    void PutInPlace(const std::vector<std::string>& names) const;
    // Removes what a build that failed staged, unless a record names it.
    void DropStaged() const;
    // For a front end that only reads the project (volm-cli list): where the
    // book folder is there and no build holds it, puts in place a set that a
    // killed build left and removes the stale temporary files of the
    // outputs. Never raises, creates nothing, and is silent when the folder
    // is missing, a link, or held.
    void Tidy() const noexcept;

    // Removes the outputs of an earlier build that this one did not replace:
    // with `volumes` 0 (a single jar) every volume's jar and jad; with
    // volumes, the single jar and jad and the volumes past the last one.
    // manifest.mf is left; only regular files are removed.
    void RemoveOldOutputs(size_t volumes) const;

private:
    // The set a killed build recorded, put in place; a record that can't be
    // read or names what is no output of this book goes.
    void finishRecordedSet(int dirFd) const;
    void putInPlace(int dirFd, const std::vector<std::string>& names) const;
    std::string recordName() const;

    std::string book_;
    std::string stem_;
    std::string path_;
    std::optional<TFd> lock_;
};

} // namespace volm
