// volm-cli: every project operation and the book build, without a display.

#include "cli/Cli.h"

#include <csignal>
#include <exception>
#include <cstdio>
#include <iostream>
#include <map>

namespace volm::cli {
namespace {

std::map<std::string, Command>& table()
{
    static std::map<std::string, Command> commands;
    return commands;
}

// The commands of a group ("storage" for "storage ls" and "storage cat").
std::vector<const Command*> group(const std::string& name)
{
    std::vector<const Command*> out;
    for (const auto& [n, cmd] : table())
        if (n.starts_with(name + " "))
            out.push_back(&cmd);
    return out;
}

// The usage for one line: a long option list is left to --help.
std::string shortUsage(const Command& c)
{
    if (c.options.size() <= 3)
        return c.usage();
    std::string out = c.name;
    for (const std::string& p : c.positionals)
        out += " " + p;
    return out + " [OPTIONS]";
}

void printCommands(std::ostream& out)
{
    out << "Usage: volm-cli COMMAND [ARGS...]\n\n"
           "Every project operation and the book build, without a display.\n\nCommands:\n";
    for (const auto& [name, cmd] : table())
        out << "  " << shortUsage(cmd) << "\n      " << cmd.summary << "\n";
    out << "\n\"volm-cli COMMAND --help\" shows a command's options, \"volm-cli --version\" the version.\n";
}

void printGroup(std::ostream& out, const std::vector<const Command*>& commands)
{
    for (const Command* c : commands)
        out << (c == commands.front() ? "" : "\n") << helpText(*c);
}

// Every command and option as tab-separated lines, for the build that makes
// the manual page's command list and the shell completion from them:
//   command NAME POSITIONALS SUMMARY          (positionals blank-separated)
//   option  COMMAND NAME VALUE HELP           (VALUE empty for a switch)
// Not listed in --help: it is for the build, not for users.
void printDeclarations(std::ostream& out)
{
    auto field = [](std::string text) {
        for (char& c : text)
            if (c == '\t' || c == '\n' || c == '\r')
                c = ' ';
        return text;
    };
    for (const auto& [name, cmd] : table()) {
        std::string positionals;
        for (const std::string& p : cmd.positionals)
            positionals += (positionals.empty() ? "" : " ") + p;
        out << "command\t" << field(name) << "\t" << field(positionals) << "\t" << field(cmd.summary) << "\n";
        for (const Option& o : cmd.options)
            out << "option\t" << field(name) << "\t" << field(o.name) << "\t" << field(o.value) << "\t"
                << field(o.help) << "\n";
    }
}

int usageError(const std::string& message, const std::string& usage)
{
    std::cerr << "volm-cli: " << message << " (usage: volm-cli " << usage << ")\n";
    return 2;
}

// A failure is one line: a line end or another control character in it
// (a file name that holds one) is shown as \n, \r or \xNN.
std::string oneLine(const std::string& message)
{
    std::string out;
    for (char c : message) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

int runCommand(const Command& cmd, const std::vector<std::string>& words)
{
    std::string hint = shortUsage(cmd);
    if (hint != cmd.usage())
        hint += "; see volm-cli " + cmd.name + " --help";
    try {
        std::optional<Args> args = parseArgs(cmd, words);
        if (!args) {
            std::cout << helpText(cmd);
            return 0;
        }
        return cmd.run(*args);
    } catch (const UsageError& e) {
        std::cout.flush();
        return usageError(oneLine(cmd.name + ": " + e.what()), hint);
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "volm-cli: " << oneLine(e.what()) << "\n";
        return 1;
    }
}

} // namespace

Registrar::Registrar(std::initializer_list<Command> commands)
{
    for (const Command& c : commands)
        table()[c.name] = c;
}

} // namespace volm::cli

int main(int argc, char** argv)
{
    // Past a file-size limit (ulimit -f) a write fails with EFBIG and is
    // reported like any other failure, rather than the signal ending the
    // program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    using namespace volm::cli;
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty())
        return usageError("no command given; \"volm-cli --help\" lists them", "COMMAND [ARGS...]");
    std::string name = words[0];
    words.erase(words.begin());
    if (isHelpOption(name) || name == "help") {
        if (words.empty()) {
            printCommands(std::cout);
            return 0;
        }
        // "help build" is "build --help".
        name = words[0];
        words = {"--help"};
    }
    if (name == "--version") {
        std::cout << "volm-cli " << VOLM_VERSION << "\n";
        return 0;
    }
    if (name == "--declarations") {
        printDeclarations(std::cout);
        return 0;
    }
    if (auto it = table().find(name); it != table().end())
        return runCommand(it->second, words);

    std::vector<const Command*> members = group(name);
    if (members.empty()) {
        std::cerr << "volm-cli: unknown command \"" << name << "\" (see volm-cli --help)\n";
        return 2;
    }
    if (!words.empty()) {
        if (auto it = table().find(name + " " + words[0]); it != table().end())
            return runCommand(it->second, {words.begin() + 1, words.end()});
        if (isHelpOption(words[0])) {
            printGroup(std::cout, members);
            return 0;
        }
    }
    std::string usages, names;
    for (const Command* c : members) {
        usages += (usages.empty() ? "" : " | volm-cli ") + shortUsage(*c);
        std::string word = c->name.substr(name.size() + 1);
        names += (names.empty() ? "\"" : c == members.back() ? " or \"" : ", \"") + word + "\"";
    }
    return usageError(name + ": " + (words.empty() ? "expected " + names : "unknown command \"" + words[0] + "\", expected " + names),
                      usages);
}
