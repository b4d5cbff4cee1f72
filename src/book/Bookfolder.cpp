#include "book/Bookfolder.h"

#include "book/Manifest.h"
#include "common/Fd.h"
#include "common/Codepage.h"
#include "common/Errors.h"
#include "common/Fileio.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace volm {
namespace {

std::string withoutSlash(const std::string& folder)
{
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

bool allDigits(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The names of the files in the book folder that a build named `stem`
// writes: the jar, the jad, manifest.mf and the volumes' jars and jads.
bool isOutputOf(const std::string& name, const std::string& stem)
{
    if (name == stem + ".jar" || name == stem + ".jad" || name == "manifest.mf")
        return true;
    if (name.size() < stem.size() + 6 || name.compare(0, stem.size() + 1, stem + "-") != 0)
        return false;
    const std::string ext = name.substr(name.size() - 4);
    if (ext != ".jar" && ext != ".jad")
        return false;
    const std::string number = name.substr(stem.size() + 1, name.size() - stem.size() - 5);
    return !number.empty() && number[0] != '0' && number.size() <= 18 && allDigits(number);
}

// The outputs of this build (named by `stem`) and of builds that named them
// by the book name as it stands (`book`).
bool isOutputName(const std::string& name, const std::string& book, const std::string& stem)
{
    return isOutputOf(name, stem) || isOutputOf(name, book);
}

// The number of a volume's jar or jad name of `stem`, 0 for the single jar's.
size_t volumeNumber(const std::string& name, const std::string& stem)
{
    if (name.size() <= stem.size() + 5 || name.compare(0, stem.size() + 1, stem + "-") != 0)
        return 0;
    return static_cast<size_t>(std::stoull(name.substr(stem.size() + 1, name.size() - stem.size() - 5)));
}

// The names in a folder open as `dirFd` (which stays open).
std::vector<std::string> listFolder(int dirFd)
{
    std::vector<std::string> names;
    const int fd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return names;
    DIR* d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return names;
    }
    while (struct dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    ::closedir(d);
    return names;
}

std::vector<std::string> listFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::vector<std::string> names = listFolder(fd);
    ::close(fd);
    return names;
}

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Creates the book folder; an existing one is used as it is, unless it is a
// symbolic link (the build would write into, and replace files of, a folder
// that is not the book's).
void makeFolder(const std::string& folder)
{
    const std::string path = withoutSlash(folder);
    for (int attempt = 0; attempt < 2; ++attempt) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode))
                throw Error("The book folder " + folder +
                            " is a symbolic link: the build writes only into a folder of its own "
                            "(remove the link, or move what it leads to there)");
            if (S_ISDIR(st.st_mode))
                return;
            throw Error("Cannot create the book folder " + folder + ": " + systemMessage(EEXIST) +
                        " (a file of that name is in the way)");
        }
        if (::mkdir(path.c_str(), 0777) == 0)
            return;
        const int err = errno; // the cause of this step, before anything else can change it
        if (err == EACCES || err == EROFS || err == EPERM)
            throw EFolderNotWritable("Cannot create the book folder " + folder + ": " + systemMessage(err),
                                     folder, err);
        if (err != EEXIST)
            throw Error("Cannot create the book folder " + folder + ": " + systemMessage(err));
    }
    throw Error("Cannot create the book folder " + folder + ": " + systemMessage(EEXIST));
}

// The folder opened (never through a link) and locked: a second build of the
// same folder is refused while this one holds it.
int lockFolder(const std::string& folder)
{
    TFd fd(::open(withoutSlash(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        const int err = errno;
        if (err == ELOOP || err == ENOTDIR)
            throw Error("The book folder " + folder + " is a symbolic link: the build writes only into "
                        "a folder of its own");
        throw Error("Cannot open the book folder " + folder + ": " + systemMessage(err));
    }
    // A folder the build can't write in is found now, before any work, so
    // that the build can go elsewhere.
    struct statvfs vfs {};
    const int writable = ::faccessat(fd.get(), ".", W_OK, AT_EACCESS) == 0 ? 0 : errno;
    if (writable == EACCES || writable == EROFS || writable == EPERM ||
        (::fstatvfs(fd.get(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY)))
        throw EFolderNotWritable("The book folder " + folder + " can't be written: " +
                                     systemMessage(writable ? writable : EROFS),
                                 folder, writable ? writable : EROFS);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK)
            throw Error("Another build is writing the book folder " + folder + ": try again when it is done");
        throw Error("Cannot lock the book folder " + folder + ": " + systemMessage(err));
    }
    return fd.release();
}

// An output the build will replace must be a plain file.
void checkOutputs(const std::string& folder, const std::string& book, const std::string& stem)
{
    for (const std::string& name : listFolder(folder)) {
        if (!isOutputName(name, book, stem))
            continue;
        struct stat st {};
        if (::lstat((folder + name).c_str(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode))
            throw Error("The book folder's " + name + " (" + folder + name +
                        ") is a symbolic link: the build replaces only files of its own; move it away");
        if (!S_ISREG(st.st_mode))
            throw Error("The book folder's " + name + " (" + folder + name +
                        ") is not a regular file: the build replaces only files of its own; move it away");
    }
}

const char* const kStagedMark = ".volm-staged";
const char* const kSetMark = ".volm-set";

std::string stagedName(const std::string& output)
{
    return "." + output + kStagedMark;
}

// The record of a set of outputs named by `stem`.
std::string setRecordName(const std::string& stem)
{
    return "." + stem + kSetMark;
}

// The files a build writes and then leaves or renames: the outputs, their
// staged forms and the record of the set.
bool isBuildFile(const std::string& name, const std::string& book, const std::string& stem)
{
    if (isOutputName(name, book, stem) || name == setRecordName(stem) || name == setRecordName(book))
        return true;
    const std::string mark = kStagedMark;
    return name.size() > mark.size() + 1 && name[0] == '.' &&
           name.compare(name.size() - mark.size(), mark.size(), mark) == 0 &&
           isOutputName(name.substr(1, name.size() - mark.size() - 1), book, stem);
}

// With the folder locked, the temporary file of a build's file is a killed
// build's: the safe writes' temporaries, and staged outputs no record names.
// Nothing else is touched.
void removeStaleTemps(const std::string& folder, const std::string& book, const std::string& stem)
{
    // While a record names a set, its staged outputs are the folder's.
    struct stat rec {};
    const bool recorded = ::lstat((folder + setRecordName(stem)).c_str(), &rec) == 0;
    const std::string staged = kStagedMark;
    for (const std::string& name : listFolder(folder)) {
        if (!IsSafeWriteTemp(name))
            continue;
        if (recorded && name.size() > staged.size() &&
            name.compare(name.size() - staged.size(), staged.size(), staged) == 0)
            continue;
        const size_t mark = name.rfind(".volm-");
        if (mark == std::string::npos || mark < 2 || !isBuildFile(name.substr(1, mark - 1), book, stem))
            continue;
        if (isRegularFile(folder + name))
            ::unlink((folder + name).c_str());
    }
}

void syncFolder(int dirFd)
{
    ::fsync(dirFd);
}

// True when a user's file `name` and a member `ours` can't both be in a jar:
// the same name (letter case aside), or one names a folder of the other.
bool clashes(const std::string& name, const std::string& ours)
{
    auto prefix = [](const std::string& a, const std::string& b) {
        return a.size() > b.size() && a[b.size()] == '/' && sameText(std::string_view(a).substr(0, b.size()), b);
    };
    return sameText(name, ours) || prefix(name, ours) || prefix(ours, name);
}

} // namespace

bool ParseSetRecord(std::string_view text, const std::string& stem, std::vector<std::string>& names)
{
    names.clear();
    size_t from = 0;
    while (from < text.size()) {
        const size_t end = text.find('\n', from);
        if (end == std::string_view::npos)
            break; // every name ends its line: a cut record is none
        std::string name(text.substr(from, end - from));
        // Only this book's outputs are ever renamed or kept by a record.
        if (!isOutputOf(name, stem) || std::find(names.begin(), names.end(), name) != names.end())
            break;
        names.push_back(std::move(name));
        from = end + 1;
    }
    if (from == text.size() && !names.empty())
        return true;
    names.clear();
    return false;
}

TBookFolder::TBookFolder(const std::string& projectPath, const std::string& outFolder)
    : book_(volm::BookName(projectPath)), path_(volm::BookFolder(projectPath, outFolder))
{
    if (const std::optional<char> c = ControlCharacter(book_))
        throw Error("The project file " + projectPath +
                    (*c == '\r' || *c == '\n' ? ": the book name holds a line end"
                                               : ": the book name holds a control character") +
                    ", which no jad or manifest can carry: rename the project file");
    stem_ = JarFileStem(book_);
    if (book_ == "." || book_ == "..")
        throw Error("The project file " + projectPath + " gives the book name \"" + book_ +
                    "\", which names no folder of its own: rename the project file");
    if (withoutSlash(path_) == projectPath)
        throw Error("The project file " + projectPath +
                    " has no extension, so its book folder would be the project file itself: "
                    "give it the extension .volm");
}

void TBookFolder::Open()
{
    makeFolder(path_);
    lock_.emplace(lockFolder(path_));
    checkOutputs(path_, book_, stem_);
    finishRecordedSet(lock_->get());
    removeStaleTemps(path_, book_, stem_);
}

std::string TBookFolder::recordName() const
{
    return setRecordName(stem_);
}

int TBookFolder::OpenScratch() const
{
    // Its fallback's name is a temporary of the jar's, which a later build removes.
    return OpenScratchFile(withoutSlash(path_), stem_ + ".jar");
}

std::string TBookFolder::StagedPath(const std::string& name) const
{
    return path_ + stagedName(name);
}

void TBookFolder::finishRecordedSet(int dirFd) const
{
    const std::string record = path_ + recordName();
    struct stat st {};
    if (::lstat(record.c_str(), &st) != 0)
        return;
    std::vector<std::string> names;
    bool sound = S_ISREG(st.st_mode);
    if (sound) {
        try {
            sound = ParseSetRecord(ReadWholeFile(record, kMaxSetRecord), stem_, names);
        } catch (const Error&) {
            sound = false;
        }
    }
    if (!sound) {
        if (S_ISREG(st.st_mode))
            ::unlink(record.c_str());
        return;
    }
    try {
        putInPlace(dirFd, names);
    } catch (const Error&) {
        // The record stays for the next build.
    }
}

void TBookFolder::putInPlace(int dirFd, const std::vector<std::string>& names) const
{
    for (const std::string& name : names) {
        const std::string staged = stagedName(name);
        struct stat st {};
        if (::fstatat(dirFd, staged.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue; // in place already
        if (::renameat(dirFd, staged.c_str(), dirFd, name.c_str()) != 0) {
            const int err = errno;
            throw Error("Cannot put " + path_ + name + " in place: " + systemMessage(err));
        }
    }
    syncFolder(dirFd);
    for (const std::string& name : listFolder(dirFd)) {
        if (!isOutputName(name, book_, stem_) || std::find(names.begin(), names.end(), name) != names.end())
            continue;
        struct stat st {};
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(dirFd, name.c_str(), 0);
    }
    ::unlinkat(dirFd, recordName().c_str(), 0);
    syncFolder(dirFd);
}

void TBookFolder::PutInPlace(const std::vector<std::string>& names) const
{
    std::string record;
    for (const std::string& name : names)
        record += name + '\n';
    WriteFileSafely(path_ + recordName(), record); // from here on the new set is the folder's
    TFd own(lock_ ? -1 : ::open(withoutSlash(path_).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const int dirFd = lock_ ? lock_->get() : own.get();
    if (dirFd < 0)
        throw Error("Cannot open the book folder " + path_ + ": " + systemMessage(errno));
    putInPlace(dirFd, names);
    removeStaleTemps(path_, book_, stem_);
}

void TBookFolder::DropStaged() const
{
    removeStaleTemps(path_, book_, stem_);
}

void TBookFolder::Tidy() const noexcept
{
    try {
        struct stat st {};
        if (::lstat(withoutSlash(path_).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return;
        TFd fd(::open(withoutSlash(path_).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            return;
        checkOutputs(path_, book_, stem_);
        finishRecordedSet(fd.get());
        removeStaleTemps(path_, book_, stem_);
    } catch (...) {
    }
}

std::vector<TUserFile> TBookFolder::UserFiles(const std::vector<std::string>& ownMembers, size_t topics,
                                              const TJarSettings& settings, bool pieces,
                                              std::vector<std::string>* skipped) const
{
    std::vector<TUserFile> files;
    auto isNumber = [](const std::string& n) { return !n.empty() && n[0] != '0' && n.size() <= 18 && allDigits(n); };
    auto ourText = [&](const std::string& name) {
        if (name.size() <= 9 || !sameText(std::string_view(name).substr(0, 9), "texts/itm"))
            return false;
        std::string number = name.substr(9);
        if (const size_t cut = number.find('_'); pieces && cut != std::string::npos) {
            if (!isNumber(number.substr(cut + 1)))
                return false;
            number.resize(cut);
        }
        if (!isNumber(number))
            return false;
        const uint64_t n = std::stoull(number);
        return n >= 1 && n <= std::max<size_t>(topics, 1);
    };
    auto skip = [&](const std::string& full, const char* kind) {
        if (skipped)
            skipped->push_back(full + " (" + kind + ")");
    };
    // Each folder is read through its own descriptor, opened relative to its
    // parent's without following a link: what is listed lies in the book folder.
    std::function<void(int, const std::string&, const std::string&)> scan = [&](int dirFd, const std::string& dir,
                                                                                const std::string& rel) {
        for (const std::string& name : listFolder(dirFd)) {
            const std::string full = dir + name;
            struct stat st {};
            if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            if (S_ISLNK(st.st_mode)) {
                skip(full, "a symbolic link");
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                if (name[0] == '.')
                    continue;
                TFd sub(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (sub.get() >= 0)
                    scan(sub.get(), full + '/', rel + name + '/');
                continue;
            }
            if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) {
                skip(full, S_ISFIFO(st.st_mode) ? "a FIFO" : S_ISSOCK(st.st_mode) ? "a socket" : "a device");
                continue;
            }
            if (!S_ISREG(st.st_mode) || IsSafeWriteTemp(name) || (rel.empty() && isBuildFile(name, book_, stem_)))
                continue;
            const std::string stored = rel + name;
            if (ourText(stored) || std::any_of(ownMembers.begin(), ownMembers.end(),
                                               [&](const std::string& o) { return clashes(stored, o); }))
                continue;
            uint32_t attrs = 0x20;
            if ((st.st_mode & 0222) == 0)
                attrs |= 0x01;
            if (name[0] == '.')
                attrs |= 0x02;
            files.push_back({full, stored, settings.StoredName(stored), attrs});
        }
    };
    if (lock_) {
        scan(lock_->get(), path_, {});
    } else {
        TFd root(::open(withoutSlash(path_).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (root.get() >= 0)
            scan(root.get(), path_, {});
    }
    return files;
}

std::string TBookFolder::ReadUserFile(const TUserFile& file, uint64_t maxSize) const
{
    auto fail = [&](const std::string& cause, int err) {
        throw EFileError("Can't read file " + file.path + ": " + cause, file.path, err);
    };
    TFd root(lock_ ? ::dup(lock_->get())
                   : ::open(withoutSlash(path_).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.get() < 0)
        fail(systemMessage(errno), errno);
    // Every folder on the way, then the file: none of them through a link.
    // O_NONBLOCK: a FIFO put in the file's place meanwhile does not wait for a writer.
    int at = root.get();
    std::optional<TFd> dir;
    size_t from = 0;
    for (size_t slash; (slash = file.relative.find('/', from)) != std::string::npos; from = slash + 1) {
        const std::string part = file.relative.substr(from, slash - from);
        TFd next(::openat(at, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0) {
            const int err = errno;
            fail(err == ELOOP || err == ENOTDIR ? "a folder on its way is a symbolic link" : systemMessage(err), err);
        }
        dir.emplace(next.release());
        at = dir->get();
    }
    TFd fd(::openat(at, file.relative.c_str() + from, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        const int err = errno;
        fail(err == ELOOP ? "it is a symbolic link, not a file of the book folder" : systemMessage(err), err);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        fail(systemMessage(errno), errno);
    if (!S_ISREG(st.st_mode))
        fail("not a regular file", EINVAL);
    const std::string large = "larger than " + std::to_string(maxSize >> 20) + " MB";
    if (static_cast<uint64_t>(st.st_size) > maxSize)
        fail(large, EFBIG);
    return ReadOpenFile(fd.get(), maxSize, static_cast<uint64_t>(st.st_size), [&] { fail(large, EFBIG); },
                        [&](int e) { fail(systemMessage(e), e); });
}

void TBookFolder::RemoveOldOutputs(size_t volumes) const
{
    for (const std::string& name : listFolder(path_)) {
        if (!isOutputName(name, book_, stem_) || name == "manifest.mf")
            continue;
        // Named by the book name as it stands (an earlier version's build): never this build's.
        const bool ours = isOutputOf(name, stem_);
        const size_t k = ours ? volumeNumber(name, stem_) : 0;
        const bool keep = ours && (volumes == 0 ? k == 0 : (k >= 1 && k <= volumes));
        if (!keep && isRegularFile(path_ + name))
            ::unlink((path_ + name).c_str());
    }
}

} // namespace volm
