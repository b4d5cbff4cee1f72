#include "book/Bookfile.h"

#include "archive/Unzip.h"
#include "common/Fd.h"
#include "common/Fileio.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace volm {
namespace {

// A ZIP archive's members, read into memory by the archive reader.
class TZipContainer : public TBookContainer {
public:
    explicit TZipContainer(const std::string& path)
    {
        unzip_.SetArchiveFile(path);
        names_ = unzip_.StoredNames(); // raises for an archive that can't be read
    }
    std::vector<std::string> Names() override { return names_; }
    std::string Read(const std::string& name) override { return unzip_.ReadMember(name); }

private:
    TUnZip unzip_;
    std::vector<std::string> names_;
};

// The first bytes of the file, to tell a ZIP archive from the rest.
// Only a regular file: checked before the open (which would wait for a
// writer of a FIFO) and again on what was opened, without waiting.
std::string Head(const std::string& path)
{
    auto notRegular = [&](mode_t mode) {
        const char* why = S_ISDIR(mode)                     ? "it is a folder, not a regular file"
                          : S_ISFIFO(mode)                  ? "it is a FIFO (named pipe), not a regular file"
                          : S_ISSOCK(mode)                  ? "it is a socket, not a regular file"
                          : S_ISCHR(mode) || S_ISBLK(mode) ? "it is a device, not a regular file"
                                                            : "not a regular file";
        throw EFileError("Can't read file " + path + ": " + why, path, S_ISDIR(mode) ? EISDIR : EINVAL);
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw EFileError("Can't read file " + path + ": " + systemMessage(errno), path, errno);
    if (!S_ISREG(st.st_mode))
        notRegular(st.st_mode);
    TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        throw EFileError("Can't read file " + path + ": " + systemMessage(errno), path, errno);
    if (!S_ISREG(st.st_mode))
        notRegular(st.st_mode);
    char buf[4];
    ssize_t n = ::read(fd.get(), buf, sizeof buf);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

} // namespace

TBook ReadBookFile(const std::string& path, const TBookOptions& options)
{
    std::string head = Head(path);
    if (RecogniseBook(head, path) == TBookFormat::Zip) {
        TZipContainer zip(path);
        return ImportBookContainer(zip, path, options);
    }
    return ImportBook(ReadWholeFile(path, kMaxBookFileSize), path, options);
}

std::vector<size_t> AppendBookTopics(TProject& project, const std::vector<TBookTopic>& topics,
                                     const std::string& title)
{
    std::vector<TNewTopic> adding;
    adding.reserve(topics.size());
    for (const TBookTopic& t : topics)
        adding.push_back({t.name, t.text});
    return project.AppendTopics(adding, title);
}

} // namespace volm
