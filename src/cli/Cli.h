#pragma once
// volm-cli's command table. Each command group lives in its own source unit and
// registers its commands with a static Registrar; Main.cpp dispatches on the
// first argument and turns any exception into one line on standard error and
// exit status 1.

#include "common/Errors.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace volm::cli {

using Args = std::vector<std::string>; // the arguments after the command's name

struct Command {
    std::string name;    // e.g. "storage", "add"
    std::string usage;   // e.g. "storage ls FILE | storage cat FILE NAME"
    std::string summary; // one line for the help text
    std::function<int(const Args&)> run; // exit status
};

struct Registrar {
    Registrar(std::initializer_list<Command> commands);
};

// Wrong arguments: Main prints the message and the command's usage.
class UsageError : public volm::Error {
public:
    using volm::Error::Error;
};

} // namespace volm::cli
