#pragma once
// volm-cli's command table and its one argument parser. Each command group
// lives in its own source unit and declares its commands with a static
// Registrar: the positional arguments, the options (with a value or without),
// a one-line summary and the function that runs it. Main.cpp picks the
// command, parses its arguments against that declaration (so every command
// answers --help the same way) and turns any exception into one line on
// standard error: exit status 2 for wrong arguments, 1 for every other failure.

#include "common/Errors.h"

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace volm::cli {

// One option of a command: a switch ("--utf8") or an option with a value
// ("--vendor V", also written "--vendor=V"). Given twice, the last one counts.
struct Option {
    std::string name;  // "--vendor"
    std::string value; // the value's name in the usage ("V", "on|off"); empty for a switch
    std::string help;  // one line for the command's --help
};

struct Command;

// A command's arguments, parsed against its declaration.
class Args {
public:
    // The positional argument declared as `name` ("PROJECT"; "N" for "[N]");
    // empty when an optional one was left out. Asking for a name the command
    // does not declare (here and below) is a fault of the command's code:
    // std::logic_error.
    const std::string& operator[](std::string_view name) const;
    // Every value of the repeated positional declared as `name...`.
    const std::vector<std::string>& all(std::string_view name) const;
    bool has(std::string_view option) const;
    // The option's value (the last one given), or nothing when it was not given.
    std::optional<std::string> value(std::string_view option) const;
    // The options as given, in order, with their values ("" for a switch).
    const std::vector<std::pair<std::string, std::string>>& options() const { return options_; }

private:
    friend std::optional<Args> parseArgs(const Command&, const std::vector<std::string>&);
    std::vector<std::pair<std::string, std::vector<std::string>>> positionals_;
    std::vector<std::pair<std::string, std::string>> options_;
    std::vector<std::string> declared_; // the command's option names
};

struct Command {
    // "build"; a command of a group is named by both words ("storage ls").
    std::string name;
    // In order: "PROJECT" is required, "[N]" may be left out, "NAME..." takes
    // one or more (only the last may be optional or repeated).
    std::vector<std::string> positionals;
    std::vector<Option> options;
    std::string summary; // one line
    std::function<int(const Args&)> run; // exit status

    // "build PROJECT [--vendor V] [--url U] [--description D]"
    std::string usage() const;
};

struct Registrar {
    Registrar(std::initializer_list<Command> commands);
};

// Lines that a command's --help shows after its options (the limits it
// keeps, say), registered beside the command.
struct HelpNote {
    HelpNote(const std::string& command, const std::string& text);
};

// Wrong arguments: shown with the command's usage, exit status 2.
class UsageError : public volm::Error {
public:
    using volm::Error::Error;
};

// Text typed on the terminal (UTF-8) in the project's Windows-1251. `what`
// names it in the error ("the topic name"), which quotes the text too; a
// character Windows-1251 lacks, or bytes that are not UTF-8, are refused.
std::string fromTerminal(const std::string& utf8, const std::string& what);

// Parses `args` (the words after the command's name) against `command`.
// Returns nothing when --help (or -h) was asked for; throws UsageError for
// anything the declaration does not allow.
std::optional<Args> parseArgs(const Command& command, const std::vector<std::string>& args);

// "--help" or "-h".
bool isHelpOption(const std::string& arg);

// The command's --help text: usage, summary and one line per option.
std::string helpText(const Command& command);

} // namespace volm::cli
