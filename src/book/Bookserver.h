#pragma once
// Sending a book to a phone: a small HTTP server for a book folder's jad and
// jar files, which a phone's browser (or the J2ME emulator of a newer phone)
// installs from their URL.
//
// The server listens on every interface. It serves:
//   /            an XHTML Mobile Profile page linking every jad (a WAP 2.0
//                browser shows it), volumes in their order;
//   /NAME.jad    text/vnd.sun.j2me.app-descriptor, its MIDlet-Jar-URL made
//                the absolute URL of its jar as this request reached the
//                server (the Host it asked for, else the server's address);
//   /NAME.jar    application/java-archive, the bytes as they are.
// Only regular files right in the book folder (no links, no subfolders,
// nothing but .jad and .jar), read only, each read when asked for; anything
// else, "../" and absolute paths among them, is 404. Every request is logged
// on one line through the log callback.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace volm {

inline constexpr const char* kJadMimeType = "text/vnd.sun.j2me.app-descriptor";
inline constexpr const char* kJarMimeType = "application/java-archive";

class TBookServer {
public:
    // Binds to every interface on `port` (0: a free port the system picks).
    // Raises volm::Error naming the folder or the port when the folder is no
    // folder or the port can't be had.
    TBookServer(std::string folder, int port);
    ~TBookServer();
    TBookServer(const TBookServer&) = delete;
    TBookServer& operator=(const TBookServer&) = delete;

    int Port() const { return port_; }
    const std::string& Folder() const { return folder_; }
    // One line per request: "ADDRESS METHOD PATH STATUS BYTES".
    void SetLog(std::function<void(const std::string&)> log);

    // Serves until Stop() (from another thread or a signal's waiter).
    void Run();
    // Serves on a thread of its own until Stop() or the destructor.
    void Start();
    // Stops serving; safe to call more than once and from any thread.
    void Stop();

    // The jad files of the folder, in volume order.
    std::vector<std::string> JadFiles() const;
    // "http://HOST:PORT/" + the percent-encoded name.
    std::string Url(const std::string& host, const std::string& file = {}) const;

private:
    struct TImpl;
    std::string folder_;
    int port_ = 0;
    std::unique_ptr<TImpl> impl_;
};

// The machine's IPv4 addresses on its local networks (interfaces that are up,
// not the loopback), "192.168.1.20"; empty when there are none.
std::vector<std::string> LanAddresses();

// A QR code's modules, row by row, true for dark ones.
struct TQrCode {
    int size = 0;
    std::vector<bool> dark;
    bool Dark(int x, int y) const { return dark[static_cast<size_t>(y) * static_cast<size_t>(size) + x]; }
};
// The QR code of `text` (error correction M). Raises volm::Error when it can't be made.
TQrCode MakeQrCode(const std::string& text);
// The code as lines for a terminal, two module rows to a line in half blocks,
// with a quiet zone of 2 modules; `colours` draws black on white with ANSI
// colours (for a terminal of any background), else dark modules as blocks.
std::vector<std::string> QrTerminalLines(const TQrCode& code, bool colours);

} // namespace volm
