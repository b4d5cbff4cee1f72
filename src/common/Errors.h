#pragma once
// Failures are exceptions. Error is the general one: its message is what the
// user sees, one line, naming the file and the cause. Subsystems derive their
// own (the storage error carries a status code as well).

#include <stdexcept>
#include <string>

namespace volm {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that can't be read or written: path() is the file or folder
// concerned, code() the errno value of the cause.
class EFileError : public Error {
public:
    EFileError(const std::string& message, std::string path, int code)
        : Error(message), path_(std::move(path)), code_(code)
    {
    }
    const std::string& path() const { return path_; }
    int code() const { return code_; }

private:
    std::string path_;
    int code_;
};

// The system's text for an errno value, e.g. "No space left on device".
std::string systemMessage(int err);

} // namespace volm
