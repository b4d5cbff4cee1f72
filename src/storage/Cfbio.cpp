#include "storage/Cfbio.h"

#include "common/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace volm::cfb {

void FileIo::write(uint64_t offset, const void* buffer, size_t count)
{
    if (failAt_ >= 0 && writes_ >= failAt_)
        throw IoFailure(failErr_, systemMessage(failErr_));
    doWrite(offset, buffer, count);
    ++writes_;
}

void FileIo::failWritesAfter(long count, int err)
{
    failAt_ = count < 0 ? -1 : writes_ + count;
    failErr_ = err;
}

PosixFile::PosixFile(const std::string& path, Mode mode)
{
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::ReadOnly: flags |= O_RDONLY; break;
    case Mode::ReadWrite: flags |= O_RDWR; break;
    case Mode::Create: flags |= O_RDWR | O_CREAT; break; // truncated only once locked
    case Mode::CreateNew: flags |= O_RDWR | O_CREAT | O_EXCL; break;
    }
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) {
        int err = errno;
        throw IoFailure(err, systemMessage(err));
    }
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd_);
        throw IoFailure(EISDIR, systemMessage(EISDIR));
    }
    if (::flock(fd_, (mode == Mode::ReadOnly ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd_);
        throw IoFailure(err == EWOULDBLOCK ? EWOULDBLOCK : err, "the file is in use");
    }
    if (mode == Mode::Create && ::ftruncate(fd_, 0) != 0) {
        int err = errno;
        ::close(fd_);
        throw IoFailure(err, systemMessage(err));
    }
}

std::unique_ptr<PosixFile> PosixFile::temporary()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "volmXXXXXX").string();
    std::unique_ptr<PosixFile> f(new PosixFile());
    f->fd_ = ::mkstemp(tmpl.data());
    if (f->fd_ < 0) {
        int err = errno;
        throw IoFailure(err, systemMessage(err));
    }
    ::unlink(tmpl.c_str());
    return f;
}

PosixFile::~PosixFile()
{
    if (fd_ >= 0)
        ::close(fd_); // closing releases the lock
}

size_t PosixFile::read(uint64_t offset, void* buffer, size_t count)
{
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            throw IoFailure(err, systemMessage(err));
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void PosixFile::doWrite(uint64_t offset, const void* buffer, size_t count)
{
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd_, static_cast<const char*>(buffer) + done, count - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            throw IoFailure(err, systemMessage(err));
        }
        done += static_cast<size_t>(n);
    }
}

uint64_t PosixFile::size()
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        int err = errno;
        throw IoFailure(err, systemMessage(err));
    }
    return static_cast<uint64_t>(st.st_size);
}

void PosixFile::sync()
{
    if (::fsync(fd_) != 0) {
        int err = errno;
        throw IoFailure(err, systemMessage(err));
    }
}

size_t MemoryFile::read(uint64_t offset, void* buffer, size_t count)
{
    if (offset >= data_.size())
        return 0;
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, data_.size() - offset));
    std::memcpy(buffer, data_.data() + offset, n);
    return n;
}

void MemoryFile::doWrite(uint64_t offset, const void* buffer, size_t count)
{
    if (offset + count > data_.size())
        data_.resize(static_cast<size_t>(offset + count));
    std::memcpy(data_.data() + offset, buffer, count);
}

} // namespace volm::cfb
