// volm-cli: every project operation and the book build, without a display.

#include "cli/Cli.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iostream>
#include <map>

namespace volm::cli {
namespace {

std::map<std::string, Command>& table()
{
    static std::map<std::string, Command> commands;
    return commands;
}

void printHelp(std::ostream& out)
{
    out << "Usage: volm-cli COMMAND [ARGS...]\n\nCommands:\n";
    for (const auto& [name, cmd] : table())
        out << "  " << cmd.usage << "\n      " << cmd.summary << "\n";
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
    using namespace volm::cli;
    if (argc < 2) {
        printHelp(std::cerr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        printHelp(std::cout);
        return 0;
    }
    if (name == "--version") {
        std::cout << "volm-cli " << VOLM_VERSION << "\n";
        return 0;
    }
    auto it = table().find(name);
    if (it == table().end()) {
        std::cerr << "volm-cli: unknown command \"" << name << "\" (see volm-cli --help)\n";
        return 2;
    }
    Args args(argv + 2, argv + argc);
    try {
        return it->second.run(args);
    } catch (const UsageError& e) {
        std::cerr << "volm-cli: " << e.what() << "\nUsage: volm-cli " << it->second.usage << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "volm-cli: " << e.what() << "\n";
        return 1;
    }
}
