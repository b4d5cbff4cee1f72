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

// The system's text for an errno value, e.g. "No space left on device".
std::string systemMessage(int err);

} // namespace volm
