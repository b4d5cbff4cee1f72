#pragma once
// A file written from scratch with every step checked: creating, writing,
// flushing and closing it each raise volm::Error naming the file and the cause.
// The data files and the manifest texts of a book are written through it.

#include <cstdio>
#include <string>
#include <string_view>

namespace volm {

class TOutFile {
public:
    // Creates (or truncates) the file.
    explicit TOutFile(std::string path);
    // Closes without checking, when the file was not closed explicitly (a failure
    // is already being reported then).
    ~TOutFile();
    TOutFile(const TOutFile&) = delete;
    TOutFile& operator=(const TOutFile&) = delete;

    void Write(std::string_view bytes);
    // Flushes and closes; the file is complete on return.
    void Close();
    const std::string& Path() const { return path_; }

private:
    [[noreturn]] void Fail(const char* what, int err);
    std::string path_;
    std::FILE* file_ = nullptr;
};

// Writes `bytes` as the whole content of the file at `path`.
void WriteWholeFile(const std::string& path, std::string_view bytes);

} // namespace volm
