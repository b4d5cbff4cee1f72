#include "common/Fileio.h"

#include "common/Fd.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace volm {

namespace safewrite {
std::function<long(int fd, const void* data, size_t size)> WriteHook;
std::function<int(const char* step)> FaultHook;
} // namespace safewrite

namespace {

constexpr std::string_view kTempMark = ".volm-";
constexpr size_t kTempRandom = 6;
constexpr size_t kMaxBaseName = 200; // leaves room for the marks within a name's 255 bytes
constexpr size_t kCopyChunk = 131072;

// The step's injected failure, 0 when there is none.
int injected(const char* step)
{
    return safewrite::FaultHook ? safewrite::FaultHook(step) : 0;
}

// "a/b/" of "a/b/c", "" for a bare name.
std::string folderOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file that `path` names once symbolic links are followed; a link that
// leads nowhere yet gives the path it leads to.
std::string followLinks(std::string path)
{
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string dest(PATH_MAX, '\0');
        ssize_t n = ::readlink(path.c_str(), dest.data(), dest.size());
        if (n <= 0)
            return path;
        dest.resize(static_cast<size_t>(n));
        path = dest[0] == '/' ? dest : folderOf(path) + dest;
    }
    return path; // a loop: the creation reports it
}

char randomChar()
{
    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 gen(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
    return kChars[std::uniform_int_distribution<size_t>(0, sizeof kChars - 2)(gen)];
}

// Renames `from` to `to` unless `to` exists (then EEXIST), in one step.
bool renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without it: a second link fails when the name exists.
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    ::unlink(from.c_str());
    return true;
}

// "64 MB (67108864 bytes)", or "99999 bytes" for a size that is no whole number of MB.
std::string sizeText(uint64_t bytes)
{
    const uint64_t mb = uint64_t(1) << 20;
    if (bytes >= mb && bytes % mb == 0)
        return std::to_string(bytes / mb) + " MB (" + std::to_string(bytes) + " bytes)";
    return std::to_string(bytes) + " bytes";
}

// Why a file of this type is not read, or "" for a regular file.
std::string notRegular(mode_t mode, int& err)
{
    err = EINVAL;
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode)) {
        err = EISDIR;
        return systemMessage(EISDIR);
    }
    if (S_ISFIFO(mode))
        return "it is a FIFO (named pipe), not a regular file";
    if (S_ISSOCK(mode))
        return "it is a socket, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "it is a device, not a regular file";
    return "not a regular file";
}

} // namespace

std::string ReadWholeFile(const std::string& path, uint64_t maxSize)
{
    auto fail = [&](const std::string& cause, int err) {
        throw EFileError("Can't read file " + path + ": " + cause, path, err);
    };
    // Only regular files: a FIFO would wait for a writer, a device or a
    // socket never ends. Checked before the open (which would block on a
    // FIFO, or fail on a socket with a misleading cause) and again on what
    // was opened, without waiting.
    struct stat st {};
    int err = 0;
    if (::stat(path.c_str(), &st) != 0)
        fail(systemMessage(errno), errno);
    if (std::string why = notRegular(st.st_mode, err); !why.empty())
        fail(why, err);
    TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        fail(systemMessage(errno), errno);
    if (::fstat(fd.get(), &st) != 0)
        fail(systemMessage(errno), errno);
    if (std::string why = notRegular(st.st_mode, err); !why.empty())
        fail(why, err);
    auto tooLarge = [&] { fail("it is larger than the limit of " + sizeText(maxSize), EFBIG); };
    if (static_cast<uint64_t>(st.st_size) > maxSize)
        tooLarge();
    return ReadOpenFile(fd.get(), maxSize, static_cast<uint64_t>(st.st_size), tooLarge,
                        [&](int e) { fail(systemMessage(e), e); });
}

std::string ReadOpenFile(int fd, uint64_t maxSize, uint64_t sizeHint, const std::function<void()>& tooLarge,
                         const std::function<void(int)>& failed)
{
    std::string bytes;
    bytes.reserve(static_cast<size_t>(std::min(sizeHint, maxSize)));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failed(errno);
        }
        if (n == 0)
            break;
        if (bytes.size() + static_cast<size_t>(n) > maxSize)
            tooLarge();
        bytes.append(buf, static_cast<size_t>(n));
    }
    return bytes;
}

bool WriteAll(int fd, const void* data, size_t size)
{
    auto* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t w = safewrite::WriteHook ? static_cast<ssize_t>(safewrite::WriteHook(fd, p, size))
                                         : ::write(fd, p, size);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (w == 0) { // no progress: the disk takes no more
            errno = ENOSPC;
            return false;
        }
        p += w;
        size -= static_cast<size_t>(w);
    }
    return true;
}

bool IsSafeWriteTemp(std::string_view name)
{
    const size_t tail = kTempMark.size() + kTempRandom;
    if (name.size() < 2 + tail || name[0] != '.' || name.substr(name.size() - tail, kTempMark.size()) != kTempMark)
        return false;
    for (char c : name.substr(name.size() - kTempRandom))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

int OpenScratchFile(const std::string& folder, const std::string& name)
{
    const std::string dir = folder.empty() ? std::string(".") : folder;
    int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    int err = errno;
    if (err == EOPNOTSUPP || err == EISDIR || err == EINVAL) {
        std::string path = dir + (dir.back() == '/' ? "" : "/") + "." + name + std::string(kTempMark) + "XXXXXX";
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(path.c_str());
            return fd;
        }
        err = errno;
    }
    throw EFileError("Cannot make a scratch file in " + dir + ": " + systemMessage(err), dir, err);
}

size_t RemoveStaleTemps(const std::string& target)
{
    const std::string final = followLinks(target);
    const std::string folder = folderOf(final);
    std::string base = final.substr(folder.size());
    if (base.empty())
        return 0;
    if (base.size() > kMaxBaseName)
        base.resize(kMaxBaseName);
    const std::string prefix = "." + base + std::string(kTempMark);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(dir)) {
        std::string_view name(e->d_name);
        if (name.size() == prefix.size() + kTempRandom && name.starts_with(prefix) && IsSafeWriteTemp(name))
            stale.emplace_back(name);
    }
    ::closedir(dir);
    size_t removed = 0;
    for (const std::string& name : stale) {
        struct stat st {};
        const std::string path = folder + name;
        if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(path.c_str()) == 0)
            ++removed;
    }
    return removed;
}

TSafeFile::TSafeFile(std::string target, TSafeWriteOptions options)
    : target_(std::move(target)), options_(std::move(options))
{
    auto refuse = [&](const std::string& cause, int err) {
        throw EFileError("Can't create file " + target_ + ": " + cause, target_, err);
    };
    final_ = followLinks(target_);
    std::string base = final_.substr(folderOf(final_).size());
    if (base.empty())
        refuse(systemMessage(EISDIR), EISDIR);

    struct stat st {};
    const bool exists = ::stat(final_.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode))
            refuse(systemMessage(EISDIR), EISDIR);
        if (!S_ISREG(st.st_mode))
            refuse("not a regular file", EINVAL);
        if (options_.refuseReadOnly && (st.st_mode & 0222) == 0) // also for a privileged user
            refuse(systemMessage(EACCES), EACCES);
    }

    std::string folder = options_.tempFolder.empty() ? folderOf(final_) : options_.tempFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    if (base.size() > kMaxBaseName)
        base.resize(kMaxBaseName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "." + base + std::string(kTempMark);
        for (size_t i = 0; i < kTempRandom; ++i)
            name += randomChar();
        fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : options_.newMode);
        if (fd_ >= 0) {
            temp_ = std::move(name);
            break;
        }
        if (errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        int err = errno;
        if (options_.tempFolder.empty())
            refuse(systemMessage(err), err);
        throw EFileError("Can't create a temporary file in " + folder + " for " + target_ + ": " +
                             systemMessage(err),
                         folder, err);
    }
    if (exists)
        ::fchmod(fd_, st.st_mode & 07777); // the replacement keeps the target's permissions
}

TSafeFile::~TSafeFile()
{
    Discard();
}

void TSafeFile::Discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!committed_ && !temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
}

void TSafeFile::fail(const std::string& what, int err)
{
    Discard();
    throw EFileError(what + " file " + target_ + ": " + systemMessage(err), target_, err);
}

size_t TSafeFile::Read(void* buffer, size_t count)
{
    for (;;) {
        ssize_t n = fd_ < 0 ? (errno = EBADF, -1) : ::read(fd_, buffer, count);
        if (n >= 0)
            return static_cast<size_t>(n);
        if (errno != EINTR)
            fail("Can't read", errno);
    }
}

size_t TSafeFile::Write(const void* buffer, size_t count)
{
    if (fd_ < 0)
        fail("Can't write", EBADF);
    if (!WriteAll(fd_, buffer, count))
        fail("Can't write", errno);
    flushed_ = false;
    return count;
}

uint64_t TSafeFile::Seek(int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t r = fd_ < 0 ? (errno = EBADF, -1) : ::lseek(fd_, static_cast<off_t>(offset), whence);
    if (r < 0)
        fail("Can't write", errno);
    return static_cast<uint64_t>(r);
}

void TSafeFile::SetSize(uint64_t newSize)
{
    if (fd_ < 0 || ::ftruncate(fd_, static_cast<off_t>(newSize)) != 0)
        fail("Can't write", fd_ < 0 ? EBADF : errno);
    flushed_ = false;
}

void TSafeFile::Flush()
{
    if (temp_.empty())
        fail("Can't write", EBADF);
    if (options_.durable) {
        int err = injected("sync");
        if (!err) {
            if (fd_ >= 0) {
                if (::fsync(fd_) != 0)
                    err = errno;
            } else {
                TFd fd(::open(temp_.c_str(), O_RDONLY | O_CLOEXEC));
                if (fd.get() < 0 || ::fsync(fd.get()) != 0)
                    err = errno;
            }
        }
        if (err)
            fail("Can't write", err);
    }
    flushed_ = true;
}

void TSafeFile::Close()
{
    if (fd_ < 0)
        return;
    int rc = ::close(fd_);
    int err = errno;
    fd_ = -1;
    if (rc != 0 && err != EINTR)
        fail("Can't write", err);
}

void TSafeFile::copyInto(const std::string& target)
{
    TSafeWriteOptions beside = options_;
    beside.tempFolder.clear();
    TSafeFile out(target, beside);
    TFd in(::open(temp_.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        fail("Can't write", errno);
    std::vector<char> buf(kCopyChunk);
    for (;;) {
        ssize_t n = ::read(in.get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail("Can't write", errno);
        if (n == 0)
            break;
        out.Write(buf.data(), static_cast<size_t>(n));
    }
    out.Commit();
}

void TSafeFile::Commit()
{
    if (committed_)
        return;
    if (!flushed_)
        Flush();
    Close();
    int err = injected("rename");
    if (!err && !(options_.replace ? ::rename(temp_.c_str(), final_.c_str()) == 0 : renameNoReplace(temp_, final_)))
        err = errno;
    if (err == EXDEV && !options_.tempFolder.empty()) {
        // Built on another file system: copied beside the target, then renamed.
        try {
            copyInto(target_);
        } catch (...) {
            Discard();
            throw;
        }
        Discard();
        committed_ = true;
        return;
    }
    if (err)
        fail("Can't write", err);
    committed_ = true;
    temp_.clear();
    if (!options_.durable)
        return;
    // The new name must last too.
    const std::string folder = folderOf(final_).empty() ? std::string(".") : folderOf(final_);
    err = injected("folder");
    if (!err) {
        TFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0 || ::fsync(fd.get()) != 0)
            err = errno;
    }
    if (err && err != EINVAL) // EINVAL: the file system keeps no folder to flush
        throw EFileError("File " + target_ + " was written, but its folder " + folder +
                             " can't be flushed to disk: " + systemMessage(err),
                         folder, err);
}

void WriteFileSafely(const std::string& path, std::string_view bytes, const TSafeWriteOptions& options)
{
    TSafeFile file(path, options);
    file.Write(bytes);
    file.Commit();
}

void WriteFileSafely(const std::string& path, const std::function<void(TSafeFile&)>& fill,
                     const TSafeWriteOptions& options)
{
    TSafeFile file(path, options);
    fill(file);
    file.Commit();
}

} // namespace volm
