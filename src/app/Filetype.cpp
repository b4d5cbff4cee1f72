#include "app/Filetype.h"

#include "common/Errors.h"
#include "common/Fileio.h"
#include "common/Registry.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace volm {

namespace fs = std::filesystem;

std::string programPath()
{
    std::string buf(PATH_MAX, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0)
        return {};
    buf.resize(static_cast<size_t>(n));
    return buf;
}

void RegisterFileType(const std::string& ext, const std::string& description,
                      const std::string& program, const fs::path& registry)
{
    TRegistry reg(RegRoot::ClassesRoot, registry);
    auto put = [&](const std::string& key, const std::string& value) {
        reg.OpenKey(key, true);
        reg.WriteString("", value);
        reg.CloseKey();
    };
    put("." + ext, ext);
    put(ext, description);
    put(ext + "\\DefaultIcon", program + ",0");
    put(ext + "\\Shell", "Open");
    put(ext + "\\Shell\\Open\\command", program + " \"%1\"");
}

std::vector<fs::path> dataDirs()
{
    std::vector<fs::path> out;
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::string list = dirs ? dirs : "";
    size_t pos = 0;
    while (pos < list.size()) {
        size_t end = std::min(list.find(':', pos), list.size());
        fs::path dir = list.substr(pos, end - pos);
        if (dir.is_absolute())
            out.push_back(dir);
        pos = end + 1;
    }
    if (out.empty())
        out = {"/usr/local/share", "/usr/share"};
    return out;
}

fs::path dataHome()
{
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x && fs::path(x).is_absolute())
        return x;
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".local" / "share";
    return fs::temp_directory_path();
}

std::string desktopExec(const std::string& program)
{
    // The program is quoted as one argument: inside the quotes the characters
    // double quote, backquote, dollar and backslash take a backslash, "%" is
    // doubled, and the value as a whole doubles every backslash again (the
    // desktop entry's string escaping).
    std::string quoted = "\"";
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += "\" %f";
    std::string out;
    for (char c : quoted) {
        if (c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

namespace {

// True when `p` holds exactly `text` (an unreadable file does not).
bool holds(const fs::path& p, const std::string& text)
{
    try {
        return ReadWholeFile(p.string(), text.size()) == text;
    } catch (const Error&) {
        return false;
    }
}

// Writes `text` to `p` unless it already holds it; true when it wrote.
bool writeIfChanged(const fs::path& p, const std::string& text)
{
    if (holds(p, text))
        return false;
    std::error_code ec;
    fs::create_directories(p.parent_path(), ec);
    if (ec)
        throw Error(p.parent_path().string() + ": " + ec.message());
    WriteFileSafely(p.string(), text);
    return true;
}

std::string findOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t pos = 0;
    while (pos <= dirs.size()) {
        size_t end = dirs.find(':', pos);
        if (end == std::string::npos)
            end = dirs.size();
        fs::path cand = fs::path(dirs.substr(pos, end - pos).empty() ? "." : dirs.substr(pos, end - pos)) / name;
        if (::access(cand.c_str(), X_OK) == 0)
            return cand.string();
        pos = end + 1;
    }
    return {};
}

// Runs a program with its output discarded; its exit status, or -1.
int runQuietly(const std::string& program, const std::vector<std::string>& args)
{
    // Everything the child needs is made before the fork: in the child of a
    // program with threads only async-signal-safe calls may run until exec.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        // Output to /dev/null; a child that can't have that does not run.
        const int null = ::open("/dev/null", O_WRONLY);
        if (null < 0 || ::dup2(null, STDOUT_FILENO) < 0 || ::dup2(null, STDERR_FILENO) < 0)
            ::_exit(127);
        if (null > STDERR_FILENO)
            ::close(null);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when `relative` is a file under one of `dirs`.
bool installedUnder(const std::vector<fs::path>& dirs, const fs::path& relative)
{
    std::error_code ec;
    for (const fs::path& dir : dirs)
        if (fs::is_regular_file(dir / relative, ec))
            return true;
    return false;
}

// Removes `p` when it is our own (it names our MIME type); true when it did.
bool removeOwn(const fs::path& p)
{
    std::error_code ec;
    if (!fs::is_regular_file(p, ec) || ReadWholeFile(p.string(), 1u << 20).find(kProjectMimeType) == std::string::npos)
        return false;
    if (!fs::remove(p, ec) && ec)
        throw Error(p.string() + ": " + ec.message());
    return true;
}

} // namespace

bool InstallDesktopIntegration(const std::string& program, const fs::path& data,
                               const std::vector<fs::path>& systemDirs,
                               const std::vector<std::pair<int, std::string>>& icons)
{
    const std::string id = kAppId;
    const bool systemMime = installedUnder(systemDirs, fs::path("mime") / "packages" / (id + ".xml"));
    const bool systemEntry = installedUnder(systemDirs, fs::path("applications") / (id + ".desktop"));
    const fs::path mimeDir = data / "mime";
    const std::string mime =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"" + std::string(kProjectMimeType) + "\">\n"
        "    <comment>Volm project file</comment>\n"
        "    <sub-class-of type=\"application/x-ole-storage\"/>\n"
        "    <glob pattern=\"*.volm\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    const fs::path mimeFile = mimeDir / "packages" / "volm-project.xml";
    const bool mimeChanged = systemMime ? removeOwn(mimeFile) : writeIfChanged(mimeFile, mime);

    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Volm\n"
        "Comment=Turn plain texts into e-books for Java phones\n"
        "Exec=" + desktopExec(program) + "\n"
        "Icon=" + id + "\n"
        "MimeType=" + std::string(kProjectMimeType) + ";\n"
        "Terminal=false\n"
        "Categories=Office;\n";
    const fs::path entryFile = data / "applications" / "volm.desktop";
    if (systemEntry) {
        removeOwn(entryFile);
    } else {
        for (const auto& [size, png] : icons) {
            const std::string dir = std::to_string(size) + "x" + std::to_string(size);
            writeIfChanged(data / "icons" / "hicolor" / dir / "apps" / (id + ".png"), png);
        }
        writeIfChanged(entryFile, entry);
    }

    std::error_code ec;
    if (!mimeChanged && (systemMime || fs::exists(mimeDir / "mime.cache", ec)))
        return false;
    const std::string tool = findOnPath("update-mime-database");
    if (tool.empty())
        return false;
    const int status = runQuietly(tool, {mimeDir.string()});
    if (status != 0)
        throw Error("update-mime-database " + mimeDir.string() + ": failed with status " +
                    std::to_string(status));
    return true;
}

} // namespace volm
