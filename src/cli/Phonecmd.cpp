// volm-cli phones: the phone families volm-cli build --phone and the build
// dialog know, with their limits and the sources of the figures.

#include "cli/Cli.h"

#include "book/Phones.h"

#include <iostream>

namespace volm::cli {
namespace {

int cmdPhones(const Args&)
{
    std::cout << "id\tname\tjar limit\tJava heap\trecord store\tcanvases\tsource (bytes; - for no figure)\n";
    for (const std::string& line : PhoneTableLines())
        std::cout << line << "\n";
    return 0;
}

const Registrar registrar{
    {"phones", {}, {}, "list the phone families for build --phone: jar limit, heap, store, canvases, sources",
     cmdPhones},
};

} // namespace
} // namespace volm::cli
