// volm-cli phones, build --phone and serve, run as the user runs them: a real
// book built for every family stays within its limits or is refused with the
// figures; the served book reaches an HTTP client as a phone needs it.
#include "book/Buildparams.h"
#include "book/Phones.h"

#include "Testutil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <regex>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace volm;
using namespace volm::test;

namespace {

std::string Cli() { return VOLM_CLI; }

// Points the registry at a scratch folder for the life of the object.
class TScratchConfig {
public:
    explicit TScratchConfig(const fs::path& dir) { ::setenv("XDG_CONFIG_HOME", dir.c_str(), 1); }
    ~TScratchConfig() { ::unsetenv("XDG_CONFIG_HOME"); }
};

// A book of 40 topics, about 200 KB of text that packs poorly: more than a
// 64 KB jar holds.
fs::path MakeLargeBook(const TempDir& dir, const std::string& name)
{
    fs::path p = dir / name;
    EXPECT_EQ(run({Cli(), "new", p.string()}).status, 0);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
    std::vector<std::string> add{Cli(), "add", p.string()};
    for (int t = 0; t < 40; ++t)
        add.push_back("Topic " + std::to_string(t + 1));
    EXPECT_EQ(run(add).status, 0);
    for (int t = 0; t < 40; ++t) {
        std::string text;
        while (text.size() < 5000) {
            const int len = 2 + static_cast<int>((next() >> 16) % 8);
            for (int i = 0; i < len; ++i)
                text += static_cast<char>('a' + (next() >> 16) % 26);
            text += (next() >> 16) % 12 == 0 ? ".\r\n" : " ";
        }
        writeFile(dir / "t.txt", text);
        EXPECT_EQ(run({Cli(), "import", p.string(), std::to_string(t + 1), (dir / "t.txt").string()}).status, 0);
    }
    return p;
}

// The jars a build's report lists, with their sizes.
std::vector<std::pair<std::string, uint64_t>> ReportedJars(const std::string& out)
{
    std::vector<std::pair<std::string, uint64_t>> jars;
    static const std::regex jar(R"(^jar: (.*) \((\d+) bytes,)");
    for (const std::string& line : splitLines(out)) {
        std::smatch m;
        if (std::regex_search(line, m, jar))
            jars.emplace_back(m[1], std::stoull(m[2]));
    }
    return jars;
}

} // namespace

TEST(Phonecmd, PhonesListsEveryFamilyWithItsSource)
{
    RunResult r = run({Cli(), "phones"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = nonEmptyLines(r.out);
    ASSERT_EQ(lines.size(), PhoneProfiles().size() + 1);
    for (size_t i = 0; i < PhoneProfiles().size(); ++i) {
        const TPhoneProfile& p = PhoneProfiles()[i];
        EXPECT_EQ(lines[i + 1].rfind(p.id + "\t" + p.name + "\tjar " + std::to_string(p.jar) + "\t", 0), 0u)
            << lines[i + 1];
        EXPECT_NE(lines[i + 1].find(p.source), std::string::npos);
    }
}

// Every family: the jars stay within its jar limit (volumes where the book
// is larger), and the report gives each jar's heap and store against the
// family's figures, with a warning exactly where an estimate is over.
TEST(Phonecmd, ARealBookBuiltForEveryFamilyKeepsItsLimits)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    const fs::path project = MakeLargeBook(dir, "Big.volm");
#ifdef VOLM_HAVE_FONT
    // A 16-pixel cell: a 256 x 256 font image, 128 KB decoded (the grid
    // layout's; the words layout has font sheets of its own sizes).
    ASSERT_EQ(run({Cli(), "font", project.string(), "--name", "DejaVu Sans Mono", "--height", "16", "--charset",
                   "RUSSIAN", "--custom", "on"}).status, 0);
    ASSERT_EQ(run({Cli(), "build", project.string(), "--layout", "grid"}).status, 0);
#endif
    int volumesSeen = 0, singleSeen = 0, heapWarnings = 0;
    for (const TPhoneProfile& p : PhoneProfiles()) {
        SCOPED_TRACE(p.id);
        RunResult r = run({Cli(), "build", project.string(), "--phone", p.id});
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        const auto jars = ReportedJars(r.out);
        ASSERT_FALSE(jars.empty()) << r.out;
        (jars.size() > 1 ? volumesSeen : singleSeen)++;
        for (const auto& [path, size] : jars) {
            EXPECT_LE(size, p.jar) << path;
            EXPECT_EQ(fs::file_size(path), size);
            const std::string file = fs::path(path).filename().string();
            const std::string head = p.name + ", " + file + ": jar " + std::to_string(size) + " of " +
                                     std::to_string(p.jar) + " bytes";
            EXPECT_NE(r.out.find(head), std::string::npos) << r.out;
        }
        // One heap and one store line per jar, against the family's figure.
        const std::vector<std::string> lines = splitLines(r.out);
        size_t heapLines = 0, storeLines = 0, warnings = 0;
        for (const std::string& line : lines) {
            if (line.rfind("  heap (estimate) ", 0) == 0) {
                ++heapLines;
                EXPECT_NE(line.find(p.heap ? "; limit " + std::to_string(HeapLimit(p)) : "no heap figure"),
                          std::string::npos)
                    << line;
                const uint64_t need = std::stoull(line.substr(18));
                EXPECT_GT(need, kReaderClassesHeap + 4096);
                if (p.heap && need > HeapLimit(p))
                    ++warnings;
            }
            if (line.rfind("  store (estimate) ", 0) == 0) {
                ++storeLines;
                EXPECT_NE(line.find(p.store ? "; limit " + std::to_string(p.store) : "no store figure"),
                          std::string::npos)
                    << line;
            }
        }
        EXPECT_EQ(heapLines, jars.size());
        EXPECT_EQ(storeLines, jars.size());
        size_t warned = 0;
        for (const std::string& line : lines)
            if (line.find("warning: ") == 0 && line.find("bytes of heap") != std::string::npos)
                ++warned;
        EXPECT_EQ(warned, warnings) << r.out;
        heapWarnings += static_cast<int>(warnings);
    }
    EXPECT_GT(volumesSeen, 0);
    EXPECT_GT(singleSeen, 0);
#ifdef VOLM_HAVE_FONT
    // 128 KB of font image and 30 KB of classes leave the smallest heaps short.
    EXPECT_GT(heapWarnings, 0);
#endif

    // --max-jar overrides the family's jar limit; the heap is still checked.
    RunResult r = run({Cli(), "build", project.string(), "--phone", "Series 40 1st", "--max-jar", "100K"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto jars = ReportedJars(r.out);
    ASSERT_FALSE(jars.empty());
    bool over = false;
    for (const auto& [path, size] : jars) {
        EXPECT_LE(size, 100u * 1024);
        over = over || size > 64u * 1024;
    }
    EXPECT_NE(r.out.find("; limit " + std::to_string(HeapLimit(FindPhone("nokia-s40-1")))), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("of 102400 bytes (the budget given; the family's jar limit is 65536 bytes)"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(over, r.out.find("is over the jar limit of Nokia Series 40 1st Edition") != std::string::npos) << r.out;
}

// The family chosen in the build dialog is used by volm-cli build too, and
// --phone replaces it.
TEST(Phonecmd, TheStoredFamilyIsUsedWithoutPhone)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    const fs::path project = dir / "Small.volm";
    ASSERT_EQ(run({Cli(), "new", project.string()}).status, 0);
    ASSERT_EQ(run({Cli(), "add", project.string(), "One"}).status, 0);
    TBuildParamsStore store;
    store.save(TWindowPlacement{}, 96, false, {"Vendor", "http://example.org/", "Text"}, 64000, "se-t610");
    RunResult r = run({Cli(), "build", project.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Sony Ericsson T610/T630, Small.jar: jar "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; limit 29696 bytes"), std::string::npos) << r.out;
    r = run({Cli(), "build", project.string(), "--phone", "any"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Any phone (MIDP 1.0 minimum), Small.jar: jar "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Sony Ericsson"), std::string::npos) << r.out;
}

// A font image the phone's jar limit cannot hold is refused with the figures;
// an ambiguous or unknown family is a usage error listing the candidates.
TEST(Phonecmd, ABookThatCannotFitIsRefusedWithTheFigures)
{
    TempDir dir;
    TScratchConfig config(dir / "config");
    const fs::path project = dir / "Small.volm";
    ASSERT_EQ(run({Cli(), "new", project.string()}).status, 0);
    ASSERT_EQ(run({Cli(), "add", project.string(), "One"}).status, 0);

    RunResult r = run({Cli(), "build", project.string(), "--phone", "nokia"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--phone: \"nokia\" names several phone families: nokia-3410"), std::string::npos)
        << r.err;
    r = run({Cli(), "build", project.string(), "--phone", "Palm"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("No phone family is \"Palm\""), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "Small" / "Small.jar"));

#ifdef VOLM_HAVE_FONT
    // A 160-pixel cell: a 2560 x 2560 font image, far over 50 KB packed.
    ASSERT_EQ(run({Cli(), "font", project.string(), "--name", "DejaVu Sans", "--height", "160", "--charset",
                   "RUSSIAN", "--custom", "on"}).status, 0);
    r = run({Cli(), "build", project.string(), "--phone", "3510i", "--layout", "grid"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("The jar budget of 51200 bytes is too small for this book"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "Small" / "Small.jar"));
#endif
}

namespace {

// volm-cli serve running in the background, its output in a file.
class TServe {
public:
    TServe(const fs::path& folder, const fs::path& out)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::vector<std::string> args{Cli(), "serve", folder.string(), "--port", "0"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        // It says its port, then "Ctrl+C stops the server." once it serves.
        static const std::regex port(R"(on port (\d+) )");
        for (int i = 0; i < 200 && port_ == 0; ++i) {
            const std::string text = readFile(out);
            std::smatch m;
            if (text.find("Ctrl+C stops") != std::string::npos && std::regex_search(text, m, port))
                port_ = std::stoi(m[1]);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    ~TServe()
    {
        if (pid_ > 0)
            Stop(SIGKILL);
    }
    // The exit status after `signal`, or -1 when a signal ended it.
    int Stop(int signal)
    {
        ::kill(pid_, signal);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Port() const { return port_; }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    pid_t pid_ = 0;
    int port_ = 0;
};

// curl's answer: the status line and headers, then the body.
struct THttp {
    int status = 0;
    std::string type;
    std::string body;
};

THttp Get(const std::string& url, const fs::path& dir)
{
    RunResult r = run({"curl", "-s", "--path-as-is", "--max-time", "10", "-o", (dir / "body").string(), "-w",
                       "%{http_code} %{content_type}", url});
    THttp h;
    EXPECT_EQ(r.status, 0) << url << r.err;
    const size_t space = r.out.find(' ');
    h.status = std::atoi(r.out.substr(0, space).c_str());
    h.type = space == std::string::npos ? "" : r.out.substr(space + 1);
    h.body = fs::exists(dir / "body") ? readFile(dir / "body") : "";
    fs::remove(dir / "body");
    return h;
}

} // namespace

// The book's files as a phone fetches them: the MIME types, the jad naming its
// jar by its absolute URL, the jar's own bytes, the index of the volumes;
// nothing outside the folder's own .jad and .jar files; a client that holds
// its connection open does not keep another waiting; SIGTERM stops it cleanly.
TEST(Phonecmd, ServeGivesThePhoneTheBookAndNothingElse)
{
    if (!haveProgram("curl"))
        GTEST_SKIP() << "no curl";
    TempDir dir;
    TScratchConfig config(dir / "config");
    const fs::path project = MakeLargeBook(dir, "Big.volm");
    RunResult r = run({Cli(), "build", project.string(), "--max-jar", "64K"});
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path book = dir / "Big";
    ASSERT_TRUE(fs::exists(book / "Big-2.jad"));
    writeFile(dir / "secret.jad", "outside");
    fs::create_symlink(dir / "secret.jad", book / "Link.jad");
    fs::create_directory(book / "sub");
    writeFile(book / "sub" / "Inner.jar", "inner");
    writeFile(book / "notes.txt", "notes");

    TServe serve(book, dir / "serve.out");
    ASSERT_GT(serve.Port(), 0) << readFile(dir / "serve.out");
    const std::string banner = readFile(dir / "serve.out");
    EXPECT_NE(banner.find(":" + std::to_string(serve.Port()) + "/"), std::string::npos) << banner;
    EXPECT_NE(banner.find("\xe2\x96\x88"), std::string::npos) << banner; // the QR code's blocks

    // A second client connected and silent all along.
    const int idle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(serve.Port()));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(idle, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    THttp jad = Get(serve.Url("/Big-2.jad"), dir.path());
    EXPECT_EQ(jad.status, 200);
    EXPECT_EQ(jad.type, "text/vnd.sun.j2me.app-descriptor");
    const std::string onDisk = readFile(book / "Big-2.jad");
    EXPECT_NE(onDisk.find("MIDlet-Jar-URL: Big-2.jar\r\n"), std::string::npos);
    EXPECT_NE(jad.body.find("MIDlet-Jar-URL: " + serve.Url("/Big-2.jar") + "\r\n"), std::string::npos) << jad.body;
    EXPECT_EQ(jad.body.size(), onDisk.size() + serve.Url("/").size());
    THttp jar = Get(serve.Url("/Big-2.jar"), dir.path());
    EXPECT_EQ(jar.status, 200);
    EXPECT_EQ(jar.type, "application/java-archive");
    EXPECT_TRUE(jar.body == readFile(book / "Big-2.jar"));

    THttp index = Get(serve.Url("/"), dir.path());
    EXPECT_EQ(index.status, 200);
    EXPECT_EQ(index.type.rfind("application/xhtml+xml", 0), 0u) << index.type;
    const size_t one = index.body.find("<a href=\"Big-1.jad\">"), two = index.body.find("<a href=\"Big-2.jad\">");
    EXPECT_NE(one, std::string::npos) << index.body;
    EXPECT_LT(one, two) << index.body;
    EXPECT_EQ(index.body.find("Link"), std::string::npos) << index.body;

    for (const char* refused : {"/../secret.jad", "/..%2Fsecret.jad", "/%2E%2E/secret.jad", "/Link.jad",
                                "/sub/Inner.jar", "/sub", "/notes.txt", "/Big-9.jad", "/manifest.mf",
                                "//etc/passwd", "/.", "/.."}) {
        THttp h = Get(serve.Url(refused), dir.path());
        EXPECT_EQ(h.status, 404) << refused;
        EXPECT_EQ(h.body.find("outside"), std::string::npos) << refused;
    }
    ::close(idle);

    EXPECT_EQ(serve.Stop(SIGTERM), 0);
    const std::vector<std::string> log = nonEmptyLines(readFile(dir / "serve.out"));
    EXPECT_EQ(log.back(), "Stopped (terminated).");
    EXPECT_NE(std::find(log.begin(), log.end(), "127.0.0.1 GET /Big-2.jad 200 " + std::to_string(jad.body.size())),
              log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "127.0.0.1 GET /../secret.jad 404 4"), log.end());
}

// A folder that is not there, and a port not a number, are refused at once.
TEST(Phonecmd, ServeRefusesWhatItCannotServe)
{
    TempDir dir;
    RunResult r = run({Cli(), "serve", (dir / "none").string(), "--port", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot serve " + (dir / "none").string() + "/"), std::string::npos) << r.err;
    writeFile(dir / "file", "x");
    r = run({Cli(), "serve", (dir / "file").string(), "--port", "0"});
    EXPECT_NE(r.err.find("it is not a folder"), std::string::npos) << r.err;
    r = run({Cli(), "serve", dir.path().string(), "--port", "http"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--port is a number"), std::string::npos) << r.err;
}
