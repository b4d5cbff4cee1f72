// volm-cli phones, build --phone and serve, run as the user runs them: a real
// book built for every family stays within its limits or is refused with the
// figures; the served book reaches an HTTP client as a phone needs it.
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
    // A 16-pixel cell: a 256 x 256 font image, 128 KB decoded.
    ASSERT_EQ(run({Cli(), "font", project.string(), "--name", "DejaVu Sans Mono", "--height", "16", "--charset",
                   "RUSSIAN", "--custom", "on"}).status, 0);
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
    r = run({Cli(), "build", project.string(), "--phone", "3510i"});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("The jar budget of 51200 bytes is too small for this book"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "Small" / "Small.jar"));
#endif
}
