#include "book/Outfile.h"

#include "common/Errors.h"

#include <cerrno>

namespace volm {

TOutFile::TOutFile(std::string path) : path_(std::move(path))
{
    file_ = std::fopen(path_.c_str(), "wb");
    if (!file_)
        Fail("create", errno);
}

TOutFile::~TOutFile()
{
    if (file_)
        std::fclose(file_);
}

void TOutFile::Fail(const char* what, int err)
{
    std::string cause = err ? systemMessage(err) : std::string("unknown error");
    throw Error("Can't " + std::string(what) + " file " + path_ + ": " + cause);
}

void TOutFile::Write(std::string_view bytes)
{
    if (bytes.empty())
        return;
    errno = 0;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
        Fail("write", errno);
}

void TOutFile::Close()
{
    errno = 0;
    int flushed = std::fflush(file_);
    int err = errno;
    int closed = std::fclose(file_);
    if (!err)
        err = errno;
    file_ = nullptr;
    if (flushed != 0 || closed != 0)
        Fail("write", err);
}

void WriteWholeFile(const std::string& path, std::string_view bytes)
{
    TOutFile f(path);
    f.Write(bytes);
    f.Close();
}

} // namespace volm
