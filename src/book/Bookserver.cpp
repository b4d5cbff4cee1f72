#include "book/Bookserver.h"

#include "book/Bookfolder.h"
#include "book/Manifest.h"
#include "common/Errors.h"

#include <httplib.h>
#include <qrencode.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace volm {
namespace {

// No book's jar comes near this; a larger file is not served.
constexpr uint64_t kMaxServedFile = 64u << 20;

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() > tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A name the server may serve: one component, .jad or .jar.
bool servable(const std::string& name)
{
    return !name.empty() && name.find('/') == std::string::npos && name.find('\0') == std::string::npos &&
           name[0] != '.' && (endsWith(name, ".jad") || endsWith(name, ".jar"));
}

// The file's bytes when it is a regular file right in the folder (a link is
// not followed), else nothing.
std::optional<std::string> readServed(const std::string& folder, const std::string& name)
{
    if (!servable(name))
        return std::nullopt;
    const int fd = ::open((folder + name).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::string bytes;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) <= kMaxServedFile;
    if (ok) {
        bytes.resize(static_cast<size_t>(st.st_size));
        size_t done = 0;
        while (ok && done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ok = false;
            else
                done += static_cast<size_t>(n);
        }
    }
    ::close(fd);
    if (!ok)
        return std::nullopt;
    return bytes;
}

// A Host header as a URL may carry it: a name or address and a port.
bool plainHost(const std::string& host)
{
    if (host.empty() || host.size() > 255)
        return false;
    return std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    });
}

// The jad with its MIDlet-Jar-URL made absolute: `base` + the jar's name as
// the jad gives it (the last part of its URL, percent-encoded already).
std::string rewriteJad(const std::string& jad, const std::string& base)
{
    static const std::string key = "MIDlet-Jar-URL:";
    std::string out;
    size_t pos = 0;
    while (pos < jad.size()) {
        size_t end = jad.find('\n', pos);
        end = end == std::string::npos ? jad.size() : end + 1;
        std::string line = jad.substr(pos, end - pos);
        if (line.compare(0, key.size(), key) == 0) {
            std::string eol;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
                eol.insert(eol.begin(), line.back());
                line.pop_back();
            }
            std::string value = line.substr(key.size());
            value.erase(0, value.find_first_not_of(' '));
            const size_t slash = value.rfind('/');
            line = key + " " + base + (slash == std::string::npos ? value : value.substr(slash + 1)) + eol;
        }
        out += line;
        pos = end;
    }
    return out;
}

std::string xmlEscaped(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

// Volume order: "Tales-2" before "Tales-10" (digit runs compared as numbers).
bool naturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ie = i, je = j;
            while (ie < a.size() && std::isdigit(static_cast<unsigned char>(a[ie])))
                ++ie;
            while (je < b.size() && std::isdigit(static_cast<unsigned char>(b[je])))
                ++je;
            const std::string na = a.substr(i, ie - i), nb = b.substr(j, je - j);
            const size_t la = na.find_first_not_of('0'), lb = nb.find_first_not_of('0');
            const std::string ta = la == std::string::npos ? "" : na.substr(la);
            const std::string tb = lb == std::string::npos ? "" : nb.substr(lb);
            if (ta.size() != tb.size())
                return ta.size() < tb.size();
            if (ta != tb)
                return ta < tb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// A set a killed build recorded is put in place, and the staged files no
// record names go, as a build or a listing of the project would do, so that
// the folder served holds one whole set. Nothing happens while a build holds
// the folder (it puts its set in place itself).
void tidyFolder(const std::string& folder)
{
    try {
        std::string bare = folder.substr(0, folder.size() - 1);
        const std::string last = bare.substr(bare.rfind('/') + 1);
        if (last.empty() || last == "." || last == "..") {
            // "./" and the like: the folder's own name.
            char* real = ::realpath(folder.c_str(), nullptr);
            if (!real)
                return;
            bare = real;
            ::free(real);
            if (bare == "/")
                return;
        }
        TBookFolder(bare + ".volm").Tidy();
    } catch (const Error&) {
        // A folder whose name gives no book has no build's files to tidy.
    }
}

} // namespace

struct TBookServer::TImpl {
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> stopped{false};
    std::atomic<bool> running{false};
    std::function<void(const std::string&)> log;
};

TBookServer::TBookServer(std::string folder, int port)
    : folder_(std::move(folder)), impl_(std::make_unique<TImpl>())
{
    if (folder_.empty())
        folder_ = "./";
    if (folder_.back() != '/')
        folder_ += '/';
    struct stat st {};
    const std::string bare = folder_.size() > 1 ? folder_.substr(0, folder_.size() - 1) : folder_;
    if (::stat(bare.c_str(), &st) != 0) {
        const int err = errno;
        throw Error("Cannot serve " + folder_ + ": " + systemMessage(err));
    }
    if (!S_ISDIR(st.st_mode))
        throw Error("Cannot serve " + folder_ + ": it is not a folder");
    tidyFolder(folder_);

    httplib::Server& s = impl_->server;
    s.Get("/", [this](const httplib::Request& req, httplib::Response& res) {
        std::string name = folder_.substr(0, folder_.size() - 1);
        name = name.substr(name.rfind('/') + 1);
        std::string page = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<!DOCTYPE html PUBLIC \"-//WAPFORUM//DTD XHTML Mobile 1.0//EN\" "
                           "\"http://www.wapforum.org/DTD/xhtml-mobile10.dtd\">\n"
                           "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head><title>" +
                           xmlEscaped(name) + "</title></head>\n<body>\n<p>" + xmlEscaped(name) + "</p>\n<p>\n";
        tidyFolder(folder_);
        const std::vector<std::string> jads = JadFiles();
        for (const std::string& jad : jads)
            page += "<a href=\"" + xmlEscaped(PercentEncoded(jad)) + "\">" +
                    xmlEscaped(jad.substr(0, jad.size() - 4)) + "</a><br/>\n";
        if (jads.empty())
            page += "No book has been built here yet.\n";
        page += "</p>\n</body>\n</html>\n";
        (void)req;
        res.set_content(page, "application/xhtml+xml; charset=utf-8");
    });
    s.Get(R"(/([^/]+))", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.matches[1];
        tidyFolder(folder_);
        std::optional<std::string> bytes = readServed(folder_, name);
        if (!bytes) {
            res.status = 404;
            res.set_content("Not found\n", "text/plain");
            return;
        }
        if (endsWith(name, ".jar")) {
            res.set_content(std::move(*bytes), kJarMimeType);
            return;
        }
        std::string host = req.get_header_value("Host");
        if (!plainHost(host)) {
            const std::vector<std::string> lan = LanAddresses();
            host = (lan.empty() ? std::string("127.0.0.1") : lan.front()) + ":" + std::to_string(port_);
        }
        res.set_content(rewriteJad(*bytes, "http://" + host + "/"), kJadMimeType);
    });
    s.set_error_handler([](const httplib::Request&, httplib::Response& res) {
        if (res.body.empty())
            res.set_content(std::to_string(res.status) + "\n", "text/plain");
    });
    s.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
        if (impl_->log)
            impl_->log(req.remote_addr + " " + req.method + " " + req.target + " " + std::to_string(res.status) +
                       " " + std::to_string(res.body.size()));
    });
    port_ = port == 0 ? s.bind_to_any_port("0.0.0.0") : (s.bind_to_port("0.0.0.0", port) ? port : -1);
    if (port_ <= 0)
        throw Error("Cannot serve " + folder_ + " on port " + std::to_string(port) +
                    ": the port is in use or not allowed");
}

TBookServer::~TBookServer()
{
    Stop();
    if (impl_->thread.joinable())
        impl_->thread.join();
}

void TBookServer::SetLog(std::function<void(const std::string&)> log)
{
    impl_->log = std::move(log);
}

void TBookServer::Run()
{
    if (impl_->stopped)
        return;
    impl_->running = true;
    impl_->server.listen_after_bind();
    impl_->running = false;
}

void TBookServer::Start()
{
    impl_->thread = std::thread([this] { Run(); });
}

void TBookServer::Stop()
{
    impl_->stopped = true;
    // A stop asked for while the server is only starting waits for it to
    // listen, so that it is not lost.
    while (impl_->running && !impl_->server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl_->server.stop();
}

std::vector<std::string> TBookServer::JadFiles() const
{
    std::vector<std::string> out;
    DIR* d = ::opendir(folder_.c_str());
    if (!d)
        return out;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        struct stat st {};
        if (endsWith(name, ".jad") && servable(name) && ::lstat((folder_ + name).c_str(), &st) == 0 &&
            S_ISREG(st.st_mode))
            out.push_back(name);
    }
    ::closedir(d);
    std::sort(out.begin(), out.end(), naturalLess);
    return out;
}

std::string TBookServer::Url(const std::string& host, const std::string& file) const
{
    return "http://" + host + ":" + std::to_string(port_) + "/" + PercentEncoded(file);
}

std::vector<std::string> LanAddresses()
{
    std::vector<std::string> out;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0)
        return out;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP) ||
            (a->ifa_flags & IFF_LOOPBACK))
            continue;
        char text[INET_ADDRSTRLEN] = {};
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
        if (::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text))
            out.emplace_back(text);
    }
    ::freeifaddrs(list);
    return out;
}

TQrCode MakeQrCode(const std::string& text)
{
    QRcode* q = QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M);
    if (!q)
        throw Error("Cannot make the QR code of " + text + ": " + systemMessage(errno));
    TQrCode code;
    code.size = q->width;
    code.dark.resize(static_cast<size_t>(q->width) * static_cast<size_t>(q->width));
    for (size_t i = 0; i < code.dark.size(); ++i)
        code.dark[i] = (q->data[i] & 1) != 0;
    QRcode_free(q);
    return code;
}

std::vector<std::string> QrTerminalLines(const TQrCode& code, bool colours)
{
    constexpr int quiet = 2;
    const int n = code.size + 2 * quiet;
    auto dark = [&](int x, int y) {
        x -= quiet;
        y -= quiet;
        return x >= 0 && y >= 0 && x < code.size && y < code.size && code.Dark(x, y);
    };
    std::vector<std::string> lines;
    for (int y = 0; y < n; y += 2) {
        std::string line = colours ? "\x1b[30;47m" : "";
        for (int x = 0; x < n; ++x) {
            const bool top = dark(x, y), bottom = y + 1 < n && dark(x, y + 1);
            line += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        if (colours)
            line += "\x1b[0m";
        lines.push_back(line);
    }
    return lines;
}

} // namespace volm
