// The argument parser shared by every volm-cli command, its help texts, and
// the conversion of terminal text into the project's code page.

#include "cli/Cli.h"

#include "common/Ansiwriter.h"
#include "common/Codepage.h"

#include <algorithm>
#include <map>
#include <cstdio>
#include <stdexcept>

namespace volm::cli {
namespace {

enum class Arity { One, Optional, Many };

struct Positional {
    std::string name;
    Arity arity;
};

Positional positional(const std::string& declared)
{
    if (declared.size() > 2 && declared.front() == '[' && declared.back() == ']')
        return {declared.substr(1, declared.size() - 2), Arity::Optional};
    if (declared.size() > 3 && declared.ends_with("..."))
        return {declared.substr(0, declared.size() - 3), Arity::Many};
    return {declared, Arity::One};
}

// Bytes that are not UTF-8 would garble the terminal: an error shows them as \xNN.
std::string printable(const std::string& text)
{
    if (isValidUtf8(text))
        return text;
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

} // namespace

const std::string& Args::operator[](std::string_view name) const
{
    const std::vector<std::string>& values = all(name);
    static const std::string empty;
    return values.empty() ? empty : values.front();
}

const std::vector<std::string>& Args::all(std::string_view name) const
{
    for (const auto& [n, values] : positionals_)
        if (n == name)
            return values;
    throw std::logic_error("volm-cli asks for the undeclared argument " + std::string(name));
}

bool Args::has(std::string_view option) const
{
    return value(option).has_value();
}

std::optional<std::string> Args::value(std::string_view option) const
{
    if (std::find(declared_.begin(), declared_.end(), option) == declared_.end())
        throw std::logic_error("volm-cli asks for the undeclared option " + std::string(option));
    for (auto it = options_.rbegin(); it != options_.rend(); ++it)
        if (it->first == option)
            return it->second;
    return std::nullopt;
}

bool isHelpOption(const std::string& arg)
{
    return arg == "--help" || arg == "-h";
}

std::string Command::usage() const
{
    std::string out = name;
    for (const std::string& p : positionals)
        out += " " + p;
    for (const Option& o : options)
        out += " [" + o.name + (o.value.empty() ? "" : " " + o.value) + "]";
    return out;
}

namespace {
std::map<std::string, std::string>& helpNotes()
{
    static std::map<std::string, std::string> notes;
    return notes;
}
} // namespace

HelpNote::HelpNote(const std::string& command, const std::string& text)
{
    helpNotes()[command] = text;
}

std::string helpText(const Command& command)
{
    std::string summary = command.summary;
    if (!summary.empty() && summary[0] >= 'a' && summary[0] <= 'z')
        summary[0] = static_cast<char>(summary[0] - 'a' + 'A');
    std::string out = "Usage: volm-cli " + command.usage() + "\n\n" + summary + ".\n";
    std::vector<std::pair<std::string, std::string>> rows;
    for (const Option& o : command.options)
        rows.emplace_back(o.name + (o.value.empty() ? "" : " " + o.value), o.help);
    rows.emplace_back("-h, --help", "show this help");
    size_t width = 0;
    for (const auto& r : rows)
        width = std::max(width, r.first.size());
    out += "\nOptions:\n";
    for (const auto& [left, help] : rows)
        out += "  " + left + std::string(width - left.size() + 2, ' ') + help + "\n";
    if (auto it = helpNotes().find(command.name); it != helpNotes().end())
        out += "\n" + it->second;
    return out;
}

std::optional<Args> parseArgs(const Command& command, const std::vector<std::string>& args)
{
    // The first fault is kept and reported only once the whole line has been
    // read, so that --help anywhere on it still wins.
    std::optional<std::string> fault;
    auto fail = [&](std::string message) {
        if (!fault)
            fault = std::move(message);
    };
    Args out;
    for (const Option& o : command.options)
        out.declared_.push_back(o.name);
    std::vector<std::string> words;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A single dash starts an option only where the command declares one ("-o").
        const bool shortOption = arg.size() >= 2 && arg[0] == '-' && arg[1] != '-' &&
                                 std::any_of(command.options.begin(), command.options.end(), [&](const Option& d) {
                                     return d.name == arg.substr(0, arg.find('='));
                                 });
        if (optionsEnd || arg.size() < 2 || arg[0] != '-' || (arg[1] != '-' && arg != "-h" && !shortOption)) {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        if (isHelpOption(arg))
            return std::nullopt;
        size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq);
        auto o = std::find_if(command.options.begin(), command.options.end(),
                              [&](const Option& d) { return d.name == name; });
        if (o == command.options.end()) {
            fail("unknown option \"" + printable(name) + "\"");
        } else if (o->value.empty()) {
            if (eq != std::string::npos)
                fail(name + " takes no value");
            out.options_.emplace_back(name, "");
        } else if (eq != std::string::npos) {
            out.options_.emplace_back(name, arg.substr(eq + 1));
        } else if (i + 1 < args.size()) {
            out.options_.emplace_back(name, args[++i]);
        } else {
            fail(name + " needs a value (" + o->value + ")");
        }
    }

    size_t next = 0;
    std::string missing;
    for (const std::string& declared : command.positionals) {
        Positional p = positional(declared);
        std::vector<std::string> values;
        if (next < words.size())
            values.push_back(words[next++]);
        else if (p.arity != Arity::Optional)
            missing += (missing.empty() ? "" : ", ") + p.name;
        if (p.arity == Arity::Many)
            while (next < words.size())
                values.push_back(words[next++]);
        out.positionals_.emplace_back(p.name, std::move(values));
    }
    if (!missing.empty())
        fail("missing " + missing);
    if (next < words.size())
        fail("too many arguments (from \"" + printable(words[next]) + "\" on)");
    if (fault)
        throw UsageError(*fault);
    return out;
}

std::string fromTerminal(const std::string& utf8, const std::string& what)
{
    if (!isValidUtf8(utf8))
        throw Error(what + " \"" + printable(utf8) + "\" is not valid UTF-8");
    try {
        return utf8ToCp1251(utf8);
    } catch (const Error& e) {
        throw Error(what + " \"" + utf8 + "\": " + e.what());
    }
}

} // namespace volm::cli
