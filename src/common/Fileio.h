#pragma once
// Whole files: reading one with a size limit, and writing one safely.
//
// A safe write never leaves a half-written file under the target's name. The
// new content goes to a uniquely named temporary file (".<name>.volm-XXXXXX",
// beside the target unless another folder is asked for), every byte is
// written (short writes and interrupted calls are carried on), the file is
// flushed to disk, renamed over the target in one step, and the folder is
// flushed so that the new name lasts. On any failure the temporary file is
// removed, the old target stays as it was, and EFileError is raised naming the
// target and the cause.
//
// The target is the file a symbolic link leads to (the link itself stays). An
// existing target keeps its permission bits; one that is not a regular file
// is refused, and so is one without any write permission bit (as writing it
// in place would be, also for a privileged user) unless asked otherwise.

#include "common/Errors.h"
#include "common/Stream.h"

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace volm {

// Reads the whole file at `path`. Raises EFileError naming the file and the
// cause when it can't be read, is no regular file (a folder, FIFO, socket or
// device is refused at once, without waiting for a writer), or holds more
// than `maxSize` bytes (the message names the limit).
std::string ReadWholeFile(const std::string& path, uint64_t maxSize);

// Reads an open file from where it stands to its end, `sizeHint` bytes
// expected: `tooLarge()` when it holds more than `maxSize` bytes (a file that
// grows, or tells no size as /proc's do), `failed(errno)` when a read fails;
// both must raise.
std::string ReadOpenFile(int fd, uint64_t maxSize, uint64_t sizeHint, const std::function<void()>& tooLarge,
                         const std::function<void(int)>& failed);

// Writes all `size` bytes to `fd`, carrying on after short writes and after
// calls interrupted by a signal. A write that takes no byte counts as a full
// disk. Returns false with errno set on failure.
bool WriteAll(int fd, const void* data, size_t size);

struct TSafeWriteOptions {
    // Permission bits of a new file (the umask applies).
    mode_t newMode = 0666;
    // Flush the file and its folder to disk before and after the rename. Work
    // files that are consumed in the same run may skip it.
    bool durable = true;
    // Refuse an existing target that has no write permission bit. Off for a
    // writer that has already opened the target for writing.
    bool refuseReadOnly = true;
    // Replace an existing target. Off: Commit fails (EEXIST, "File exists")
    // when a file of the target's name exists by then, and leaves it as it is.
    bool replace = true;
    // Folder of the temporary file; empty means the target's own folder. When
    // it lies on another file system, Commit copies the content through a
    // second temporary file beside the target.
    std::string tempFolder;
};

// A safe write in progress: a stream over the temporary file, put in place by
// Commit. Writers that need a descriptor use Fd(); writers that open files by
// name use TempPath() after Close().
class TSafeFile : public TStream {
public:
    // Creates the temporary file; raises EFileError ("Can't create file
    // <target>: <cause>") when the target is refused or no file can be made.
    explicit TSafeFile(std::string target, TSafeWriteOptions options = {});
    // Removes the temporary file unless it was committed.
    ~TSafeFile() override;
    TSafeFile(const TSafeFile&) = delete;
    TSafeFile& operator=(const TSafeFile&) = delete;

    const std::string& TempPath() const { return temp_; }
    // The temporary file's descriptor; -1 after Close, Commit or a failure.
    int Fd() const { return fd_; }

    // Stream operations on the temporary file. A failure raises EFileError
    // ("Can't write file <target>: <cause>") and discards the temporary file.
    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    uint64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(uint64_t newSize) override;
    void Write(std::string_view bytes) { Write(bytes.data(), bytes.size()); }

    // Flushes the content to disk (when durable); by name when the descriptor
    // is closed. Nothing may be written after it.
    void Flush();
    // Closes the descriptor without putting the file in place, for a writer
    // that goes on by name.
    void Close();
    // Flushes (unless Flush did), closes, renames over the target and flushes
    // the folder (when durable).
    void Commit();
    // Drops the temporary file; the target stays as it was.
    void Discard();

private:
    [[noreturn]] void fail(const std::string& what, int err);
    void copyInto(const std::string& target);

    std::string target_;   // as given, for messages
    std::string final_;    // the file that is replaced (links followed)
    std::string temp_;
    TSafeWriteOptions options_;
    int fd_ = -1;
    bool flushed_ = false;
    bool committed_ = false;
};

// Writes `bytes` as the whole content of `path`.
void WriteFileSafely(const std::string& path, std::string_view bytes, const TSafeWriteOptions& options = {});

// The same for content made by `fill`, which writes into the file it is given
// (through the stream, its descriptor, or by name after closing it).
void WriteFileSafely(const std::string& path, const std::function<void(TSafeFile&)>& fill,
                     const TSafeWriteOptions& options = {});

// True when `name` (a file name without folder) has the form of a safe
// write's temporary file.
bool IsSafeWriteTemp(std::string_view name);

// Removes the temporary files that safe writes of `target` left behind when
// they were cut short (a killed process): regular files named as TSafeFile
// names them, ".<target's name>.volm-XXXXXX" in the target's folder (links
// followed), and nothing else. Call it only while no other safe write of the
// same target can be running (for a project: while its lock is held).
// Returns how many were removed.
size_t RemoveStaleTemps(const std::string& target);

// A scratch file for work that does not fit in memory: opened for reading
// and writing in `folder` with no name (it goes with its descriptor, even
// when the process is killed), or, where the file system can't make such a
// file, created as ".<name>.volm-XXXXXX" and unlinked at once (a stale one
// is then a safe write's temporary). Raises EFileError naming the folder and
// the cause. The caller closes the descriptor.
int OpenScratchFile(const std::string& folder, const std::string& name);

// For tests: stand-ins for the system's calls. WriteHook replaces write(2) in
// WriteAll; FaultHook is asked at "sync", "rename" and "folder" and fails that
// step with the errno value it returns (0 goes on).
namespace safewrite {
extern std::function<long(int fd, const void* data, size_t size)> WriteHook;
extern std::function<int(const char* step)> FaultHook;
} // namespace safewrite

} // namespace volm
