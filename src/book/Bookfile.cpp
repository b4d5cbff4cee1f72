#include "book/Bookfile.h"

#include "archive/Unzip.h"
#include "common/Fd.h"
#include "common/Fileio.h"
#include "text/Booklimits.h"

#include <algorithm>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace volm {
namespace {

// A ZIP archive's members, read into memory by the archive reader. All the
// members read together may inflate to no more than the book's output limit
// (Booklimits.h), so that members that share their data, or a spine that
// names large members again and again, cost no more than a book could give;
// one member to 4 times the archive plus 8 MB (reading a document takes a few
// times its size while its paragraphs are made).
class TZipContainer : public TBookContainer {
public:
    explicit TZipContainer(const std::string& path) : path_(path)
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0)
            size_ = static_cast<uint64_t>(st.st_size);
        unzip_.SetArchiveFile(path);
        names_ = unzip_.StoredNames(); // raises for an archive that can't be read
        if (names_.size() > kMaxBookMembers)
            throw EBookError(path + ": more members than the limit of " + std::to_string(kMaxBookMembers) +
                             " a book's archive may hold (" + std::to_string(names_.size()) + ")");
        budget_ = BookOutputLimit(size_);
        unzip_.MaxMemberSize = std::min<uint64_t>(unzip_.MaxMemberSize, 4 * size_ + (8u << 20));
    }
    std::vector<std::string> Names() override { return names_; }
    std::string Read(const std::string& name) override
    {
        if (read_ >= budget_)
            throw EBookError(path_ + ": " + name + ": the members read pass the output size limit (" +
                             std::to_string(budget_ >> 20) + " MB for this file)");
        const uint64_t most = unzip_.MaxMemberSize;
        unzip_.MaxMemberSize = std::min(most, budget_ - read_);
        std::string bytes;
        try {
            bytes = unzip_.ReadMember(name);
        } catch (...) {
            unzip_.MaxMemberSize = most;
            throw;
        }
        unzip_.MaxMemberSize = most;
        read_ += bytes.size();
        return bytes;
    }
    uint64_t Size() override { return size_; }

private:
    std::string path_;
    TUnZip unzip_;
    std::vector<std::string> names_;
    uint64_t size_ = 0, budget_ = 0, read_ = 0;
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
