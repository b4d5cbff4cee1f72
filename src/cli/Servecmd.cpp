// volm-cli serve: serves a book folder's jad and jar files over HTTP on the
// local network (TBookServer), printing the addresses and a QR code of the
// jad's URL (of the index page when the book has volumes), until Ctrl+C or
// SIGTERM stops it.

#include "cli/Cli.h"

#include "book/Bookserver.h"

#include <csignal>
#include <iostream>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace volm::cli {
namespace {

int cmdServe(const Args& a)
{
    int port = 8080;
    if (auto p = a.value("--port")) {
        try {
            size_t used = 0;
            port = std::stoi(*p, &used);
            if (used != p->size() || port < 0 || port > 65535)
                throw std::out_of_range("port");
        } catch (const std::exception&) {
            throw UsageError("--port is a number from 0 to 65535 (0: a free one), not \"" + *p + "\"");
        }
    }
    // The signals are taken by this thread alone (sigwait below): the
    // server's threads are started with them blocked.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    TBookServer server(a["BOOKFOLDER"], port);
    std::mutex out;
    server.SetLog([&out](const std::string& line) {
        std::lock_guard<std::mutex> lock(out);
        std::cout << line << std::endl;
    });
    const std::vector<std::string> jads = server.JadFiles();
    std::vector<std::string> hosts = LanAddresses();
    const bool lan = !hosts.empty();
    if (!lan)
        hosts.push_back("127.0.0.1");
    {
        std::lock_guard<std::mutex> lock(out);
        std::cout << "Serving " << server.Folder() << " on port " << server.Port() << " (every interface)\n";
        for (const std::string& h : hosts)
            std::cout << "  " << server.Url(h) << "\n";
        if (!lan)
            std::cout << "  (no local network address: only this machine reaches the server)\n";
        if (jads.empty())
            std::cout << "warning: no jad in " << server.Folder() << ": build the book first\n";
        const std::string url = server.Url(hosts.front(), jads.size() == 1 ? jads.front() : std::string());
        std::cout << (jads.size() == 1 ? "The book: " : "The volumes: ") << url << "\n";
        for (const std::string& line : QrTerminalLines(MakeQrCode(url), ::isatty(1)))
            std::cout << line << "\n";
        std::cout << "Ctrl+C stops the server." << std::endl;
    }
    server.Start();
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.Stop();
    std::lock_guard<std::mutex> lock(out);
    std::cout << "Stopped (" << (signal == SIGINT ? "interrupted" : "terminated") << ")." << std::endl;
    return 0;
}

const Registrar registrar{
    {"serve",
     {"BOOKFOLDER"},
     {{"--port", "N", "the port to listen on (8080; 0 for a free one)"}},
     "serve the book folder's jad and jar files to phones over HTTP on the local network, with a QR code "
     "of the address, until Ctrl+C",
     cmdServe},
};

} // namespace
} // namespace volm::cli
