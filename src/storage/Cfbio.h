#pragma once
// The file layer under the compound-file engine: positioned reads and writes,
// the file's size, flushing to the disk. Every write the engine makes goes
// through write(), so a test can make the layer fail after the k-th write (as
// a process that dies there, or a full disk) and check what the file holds.
//
// Failures raise IoFailure with the errno value; the engine turns it into the
// storage error with the file's name.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace volm::cfb {

class IoFailure : public std::runtime_error {
public:
    IoFailure(int err, const std::string& what) : std::runtime_error(what), err_(err) {}
    int err() const { return err_; }

private:
    int err_;
};

class FileIo {
public:
    virtual ~FileIo() = default;

    // Reads up to `count` bytes at `offset`; fewer only at the end of the file.
    virtual size_t read(uint64_t offset, void* buffer, size_t count) = 0;
    // Writes all `count` bytes at `offset`, extending the file as needed.
    void write(uint64_t offset, const void* buffer, size_t count);
    virtual uint64_t size() = 0;
    // Makes everything written so far durable.
    virtual void sync() = 0;

    // Test hook: the write after `count` more successful writes fails with
    // `err` (EIO, ENOSPC, ...) and so does every write after it. A negative
    // count switches the fault off.
    void failWritesAfter(long count, int err);
    long writesDone() const { return writes_; }

protected:
    virtual void doWrite(uint64_t offset, const void* buffer, size_t count) = 0;

private:
    long writes_ = 0;
    long failAt_ = -1;
    int failErr_ = 0;
};

// A file on disk, held open through one descriptor with an advisory lock
// (flock) on it: exclusive for writing, shared for reading. The lock belongs
// to the open file, so a second open of the same file, from this process or
// another and by whatever path, conflicts.
class PosixFile : public FileIo {
public:
    enum class Mode { ReadOnly, ReadWrite, Create /* create or replace */, CreateNew /* fails if it exists */ };

    // Raises IoFailure (EWOULDBLOCK when the lock is held elsewhere).
    PosixFile(const std::string& path, Mode mode);
    // An unnamed temporary file that vanishes when closed.
    static std::unique_ptr<PosixFile> temporary();
    ~PosixFile() override;

    size_t read(uint64_t offset, void* buffer, size_t count) override;
    uint64_t size() override;
    void sync() override;

private:
    PosixFile() = default;
    void doWrite(uint64_t offset, const void* buffer, size_t count) override;
    int fd_ = -1;
};

// A file held in memory (fuzzing, tests).
class MemoryFile : public FileIo {
public:
    explicit MemoryFile(std::string bytes = {}) : data_(std::move(bytes)) {}
    size_t read(uint64_t offset, void* buffer, size_t count) override;
    uint64_t size() override { return data_.size(); }
    void sync() override {}
    const std::string& bytes() const { return data_; }

private:
    void doWrite(uint64_t offset, const void* buffer, size_t count) override;
    std::string data_;
};

} // namespace volm::cfb
