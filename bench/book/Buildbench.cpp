// Generation benchmark, against `zip -9 -r` of the same files measured in the
// same run:
//
// 1. A large book (400 topics, 30 MB of Russian-like Windows-1251 text):
//    the build on one thread and on all of them, wall and CPU time, peak
//    memory, and the jar's size, each against zip -9 -r of the jar's content
//    (target: at most 1.0 times zip's time, goal 0.7; under 64 MB); then
//    once at each of a few deflate levels, to show what the level chosen for
//    a build without a budget trades.
// 2. The same book with a 64 KB budget: the time of the build and the size of
//    its volumes, against zip -9 -r of each volume's content (target: at most
//    0.97 times zip's size).
// 3. 1 MB of real Russian prose (the fortunes-ru package's texts, when it is
//    installed), with and without a 64 KB budget: time and size against zip's.
// 4. A 2 MB book with a 64 KB budget: the time to plan and pack its volumes,
//    how many, and the largest.
// Every case names the deflate level the build chose.
//
// Each build runs in a child process of its own (so that its peak memory is
// its own), best of three rounds, alternating with zip.
//
//   buildbench [TOPICS [MEGABYTES [FOLDER]]]

#include "Benchutil.h"
#include "book/Pipeline.h"
#include "common/Ansiwriter.h"
#include "storage/Project.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace volm::bench;

namespace {

// Runs `work` in a child process of its own.
TRun runForked(const std::function<void()>& work)
{
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        try {
            work();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "buildbench: %s\n", e.what());
            ::_exit(1);
        }
        ::_exit(0);
    }
    return finishChild(pid, start);
}

// Words of Windows-1251 Cyrillic letters with Russian-like letter frequencies,
// sentences and paragraphs with CR LF.
class TRussianish {
public:
    explicit TRussianish(unsigned seed) : rng_(seed) {}

    std::string Text(size_t bytes)
    {
        // о е а и н т с р в л к м д п у я ы ь г з б ч й х ж ш ю ц щ э ф ъ ё
        static const char* letters = "\xee\xe5\xe0\xe8\xed\xf2\xf1\xf0\xe2\xeb\xea\xec\xe4\xef\xf3\xff\xfb\xfc"
                                     "\xe3\xe7\xe1\xf7\xe9\xf5\xe6\xf8\xfe\xf6\xf9\xfd\xf4\xfa\xb8";
        std::discrete_distribution<int> letter(std::begin(kRussianLetterWeights), std::end(kRussianLetterWeights));
        std::uniform_int_distribution<int> wordLen(1, 11), sentenceLen(4, 16), paraLen(3, 8);
        std::string t;
        t.reserve(bytes + 64);
        while (t.size() < bytes) {
            int sentences = paraLen(rng_);
            for (int s = 0; s < sentences && t.size() < bytes; ++s) {
                int words = sentenceLen(rng_);
                for (int w = 0; w < words; ++w) {
                    int n = wordLen(rng_);
                    for (int i = 0; i < n; ++i) {
                        char c = letters[letter(rng_)];
                        if (w == 0 && i == 0)
                            c = static_cast<char>(c == '\xb8' ? '\xa8' : c - 0x20); // capital
                        t += c;
                    }
                    t += w + 1 < words ? (rng_() % 9 == 0 ? ", " : " ") : ". ";
                }
            }
            t += "\r\n";
        }
        return t;
    }

private:
    std::mt19937 rng_;
};

void makeProject(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& topics)
{
    volm::TProject p;
    p.Open(path.string(), volm::TProject::omCreateNew);
    for (const auto& [name, text] : topics)
        p.CommitText(p.AddTopic(name), text);
    p.CloseProject();
}

volm::TBuildRequest request(const fs::path& project, unsigned threads, uint64_t maxJar, int level)
{
    volm::TBuildRequest r;
    r.projectPath = project.string();
    r.vendor = "Bench";
    r.url = "http://example.org/";
    r.threads = threads;
    r.maxJar = maxJar;
    r.level = level;
    return r;
}

// Builds a project in this (child) process; `level` 0 lets the build choose.
void build(const fs::path& project, unsigned threads, uint64_t maxJar, int level = 0)
{
    volm::TProject p;
    p.Open(project.string(), volm::TProject::omOpenExisting);
    volm::TProjectTopics topics(p);
    volm::GenerateBook(request(project, threads, maxJar, level), topics, {});
    p.CloseProject();
}

// The level a build of `project` with `maxJar` chooses.
int chosenLevel(const fs::path& project, uint64_t maxJar)
{
    return volm::BuildLevel(request(project, 0, maxJar, 0));
}

// zip -9 -r -q of the jar's content, unpacked into `files`.
bool unpackForZip(const fs::path& jar, const fs::path& files)
{
    fs::remove_all(files);
    fs::create_directories(files);
    return runChild({"unzip", "-q", jar.string(), "-d", files.string()}).status == 0;
}

TRun zipNine(const fs::path& files, const fs::path& zip)
{
    fs::remove(zip);
    return runChild({"zip", "-9", "-r", "-q", zip.string(), "."}, files);
}

// The jars of a book folder, in name order.
std::vector<fs::path> jarsIn(const fs::path& folder)
{
    std::vector<fs::path> jars;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".jar")
            jars.push_back(e.path());
    std::sort(jars.begin(), jars.end());
    return jars;
}

// zip -9 -r of each jar's content: the total time and size, and the largest
// ratio of a jar's size to its zip's.
struct TZipped {
    double seconds = 0, cpuSeconds = 0;
    uintmax_t jarBytes = 0, zipBytes = 0;
    double worst = 0;
    bool ok = true;
};
TZipped zipEach(const std::vector<fs::path>& jars, const fs::path& work)
{
    TZipped z;
    const fs::path files = work / "each", zip = work / "each.zip";
    for (const fs::path& jar : jars) {
        if (!unpackForZip(jar, files)) {
            z.ok = false;
            return z;
        }
        TRun r = zipNine(files, zip);
        if (r.status != 0) {
            z.ok = false;
            return z;
        }
        z.seconds += r.seconds;
        z.cpuSeconds += r.cpuSeconds;
        z.jarBytes += fs::file_size(jar);
        z.zipBytes += fs::file_size(zip);
        z.worst = std::max(z.worst, double(fs::file_size(jar)) / double(fs::file_size(zip)));
    }
    return z;
}

TRun best(const std::vector<TRun>& v)
{
    return *std::min_element(v.begin(), v.end(), [](auto& a, auto& b) { return a.seconds < b.seconds; });
}

long peak(const std::vector<TRun>& v)
{
    long p = 0;
    for (const TRun& r : v)
        p = std::max(p, r.maxRssKiB);
    return p;
}

// The texts of the fortunes-ru package (UTF-8) in Windows-1251, one topic per
// file; none when it is not installed.
std::vector<std::pair<std::string, std::string>> realProse()
{
    std::vector<std::pair<std::string, std::string>> topics;
    const fs::path dir = "/usr/share/games/fortunes/ru";
    std::error_code ec;
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (e.is_regular_file() && e.path().extension() != ".dat" && e.path().extension() != ".u8")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string text = volm::TAnsiWriter(volm::TAnsiFallback::Question)(ss.str());
        std::string crlf;
        for (char c : text) {
            if (c == '\n')
                crlf += '\r';
            crlf += c;
        }
        topics.emplace_back(f.filename().string(), crlf);
    }
    return topics;
}

} // namespace

int main(int argc, char** argv)
{
    size_t topicCount = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 400;
    size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 30;
    fs::path work = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "volm-buildbench";
    if (topicCount == 0) {
        std::fprintf(stderr, "buildbench: at least one topic\n");
        return 2;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    constexpr int kRounds = 3;

    fs::remove_all(work);
    fs::create_directories(work);

    // 1. The large book.
    fs::path project = work / "Bigbook.volm";
    std::printf("making %zu topics, %zu MB of text in %s\n", topicCount, megabytes, project.c_str());
    {
        TRussianish gen(20261208);
        std::vector<std::pair<std::string, std::string>> topics;
        size_t perTopic = megabytes * 1024 * 1024 / topicCount;
        for (size_t i = 0; i < topicCount; ++i)
            topics.emplace_back("\xc3\xeb\xe0\xe2\xe0 " + std::to_string(i + 1), gen.Text(perTopic)); // "Глава N"
        makeProject(project, topics);
    }
    const fs::path jar = work / "Bigbook" / "Bigbook.jar";
    const fs::path files = work / "files", reference = work / "reference.zip";
    std::vector<TRun> one, all, zips;
    for (int round = 0; round < kRounds; ++round) {
        one.push_back(runForked([&] { build(project, 1, 0); }));
        all.push_back(runForked([&] { build(project, 0, 0); }));
        if (one.back().status != 0 || all.back().status != 0 || !fs::exists(jar)) {
            std::fprintf(stderr, "buildbench: the build failed\n");
            return 1;
        }
        if (round == 0 && !unpackForZip(jar, files)) {
            std::fprintf(stderr, "buildbench: unzip failed\n");
            return 1;
        }
        zips.push_back(zipNine(files, reference));
        if (zips.back().status != 0) {
            std::fprintf(stderr, "buildbench: zip failed\n");
            return 1;
        }
    }
    const double jarMB = fs::file_size(jar) / 1048576.0, zipMB = fs::file_size(reference) / 1048576.0;
    const TRun z = best(zips);
    std::printf("best of %d rounds, %u processors:\n", kRounds, cores);
    for (auto [label, runs] : {std::pair{"build, 1 thread ", &one}, std::pair{"build, all threads", &all}}) {
        const TRun b = best(*runs);
        std::printf("  %s %u: %6.2f s (cpu %6.2f s)  %.2fx zip's time  peak %5.1f MB\n", label,
                    runs == &one ? 1u : cores, b.seconds, b.cpuSeconds, b.seconds / z.seconds, peak(*runs) / 1024.0);
    }
    std::printf("  zip -9 -r:               %6.2f s (cpu %6.2f s)                  peak %5.1f MB\n", z.seconds,
                z.cpuSeconds, peak(zips) / 1024.0);
    std::printf("  jar %.2f MB, zip %.2f MB: %.4fx zip's size (deflate level %d, chosen without a budget)\n", jarMB,
                zipMB, jarMB / zipMB, chosenLevel(project, 0));
    std::printf("  targets: at most 1.0x zip's time (goal 0.7x), peak memory under 64 MB\n");
    // What the level trades: one build at each, on all threads.
    for (int level : {6, 8, 9, 10, 12}) {
        TRun b = runForked([&] { build(project, 0, 0, level); });
        if (b.status != 0)
            return 1;
        std::printf("  level %2d: %6.2f s (cpu %6.2f s)  %.2fx zip's time  %.4fx zip's size\n", level, b.seconds,
                    b.cpuSeconds, b.seconds / z.seconds, fs::file_size(jar) / 1048576.0 / zipMB);
    }

    // 2. The same book with a 64 KB budget.
    {
        std::vector<TRun> runs;
        for (int round = 0; round < 2; ++round) {
            runs.push_back(runForked([&] { build(project, 0, 64 * 1024); }));
            if (runs.back().status != 0) {
                std::fprintf(stderr, "buildbench: the budget build failed\n");
                return 1;
            }
        }
        const std::vector<fs::path> volumes = jarsIn(work / "Bigbook");
        const TZipped zipped = zipEach(volumes, work);
        if (!zipped.ok) {
            std::fprintf(stderr, "buildbench: zip of the volumes failed\n");
            return 1;
        }
        const TRun b = best(runs);
        std::printf("the same book, budget 64 KB (deflate level %d): %zu volumes, %6.2f s (cpu %6.2f s), peak %.1f MB; "
                    "zip -9 -r of each volume's content %6.2f s (cpu %.2f s): %.2fx zip's time; jars %ju bytes, zips %ju bytes: "
                    "%.4fx zip's size (the worst volume %.4fx; target at most 0.97)\n",
                    chosenLevel(project, 64 * 1024), volumes.size(), b.seconds, b.cpuSeconds, peak(runs) / 1024.0,
                    zipped.seconds, zipped.cpuSeconds, b.seconds / zipped.seconds, zipped.jarBytes, zipped.zipBytes,
                    double(zipped.jarBytes) / double(zipped.zipBytes), zipped.worst);
    }

    // 3. 1 MB of real prose, with and without a budget.
    std::vector<std::pair<std::string, std::string>> prose = realProse();
    size_t bytes = 0, keep = 0;
    while (keep < prose.size() && bytes < 1048576)
        bytes += prose[keep++].second.size();
    prose.resize(keep);
    if (prose.empty()) {
        std::printf("real prose: the fortunes-ru package is not installed, skipped\n");
    } else {
        fs::path proseProject = work / "Prose.volm";
        makeProject(proseProject, prose);
        for (uint64_t budget : {uint64_t(0), uint64_t(64 * 1024)}) {
            std::vector<TRun> runs;
            for (int round = 0; round < kRounds; ++round) {
                runs.push_back(runForked([&] { build(proseProject, 0, budget); }));
                if (runs.back().status != 0) {
                    std::fprintf(stderr, "buildbench: the prose book failed\n");
                    return 1;
                }
            }
            const TZipped zipped = zipEach(jarsIn(work / "Prose"), work);
            if (!zipped.ok) {
                std::fprintf(stderr, "buildbench: zip of the prose book failed\n");
                return 1;
            }
            const TRun b = best(runs);
            std::printf("real prose (fortunes-ru, %zu topics, %.2f MB), %s (deflate level %d): %6.3f s (cpu %.3f s), "
                        "zip %6.3f s (cpu %.3f s): %.2fx zip's time (cpu %.2fx); jars %ju bytes, zips %ju bytes: "
                        "%.4fx zip's size (target at most %s)\n",
                        prose.size(), bytes / 1048576.0, budget ? "budget 64 KB" : "no budget",
                        chosenLevel(proseProject, budget), b.seconds, b.cpuSeconds, zipped.seconds,
                        zipped.cpuSeconds, b.seconds / zipped.seconds, b.cpuSeconds / zipped.cpuSeconds,
                        zipped.jarBytes, zipped.zipBytes, double(zipped.jarBytes) / double(zipped.zipBytes),
                        budget ? "0.97" : "1.0");
        }
        // What the level trades on real prose, without a budget.
        for (int level : {6, 8, 9, 12}) {
            TRun b = best({runForked([&] { build(proseProject, 0, 0, level); }),
                           runForked([&] { build(proseProject, 0, 0, level); })});
            const TZipped zipped = zipEach(jarsIn(work / "Prose"), work);
            if (b.status != 0 || !zipped.ok)
                return 1;
            std::printf("  level %2d: %6.3f s (cpu %6.3f s)  %.2fx zip's time (cpu %.2fx zip's)  %.4fx zip's size\n",
                        level, b.seconds, b.cpuSeconds, b.seconds / zipped.seconds, b.cpuSeconds / zipped.cpuSeconds,
                        double(zipped.jarBytes) / double(zipped.zipBytes));
        }
    }

    // 4. A 2 MB book with a 64 KB budget.
    {
        fs::path small = work / "Pocket.volm";
        TRussianish gen(7);
        std::vector<std::pair<std::string, std::string>> topics;
        for (size_t i = 0; i < 40; ++i)
            topics.emplace_back("\xc3\xeb\xe0\xe2\xe0 " + std::to_string(i + 1),
                                gen.Text(i % 10 == 9 ? 200 * 1024 : 2 * 1048576 / 40 - 16 * 1024));
        makeProject(small, topics);
        bytes = 0;
        for (const auto& t : topics)
            bytes += t.second.size();
        std::vector<TRun> runs;
        for (int round = 0; round < kRounds; ++round) {
            runs.push_back(runForked([&] { build(small, 0, 64 * 1024); }));
            if (runs.back().status != 0) {
                std::fprintf(stderr, "buildbench: the budget build failed\n");
                return 1;
            }
        }
        size_t volumes = 0;
        uintmax_t largest = 0;
        for (const auto& e : fs::directory_iterator(work / "Pocket"))
            if (e.path().extension() == ".jar") {
                ++volumes;
                largest = std::max(largest, fs::file_size(e.path()));
            }
        const TRun b = best(runs);
        std::printf("2 MB book (%.2f MB, 40 topics, 4 of them larger than a volume), budget 64 KB: %zu volumes, "
                    "the largest %ju bytes; %.2f s (cpu %.2f s) to plan and pack, peak %.1f MB\n",
                    bytes / 1048576.0, volumes, largest, b.seconds, b.cpuSeconds, peak(runs) / 1024.0);
    }
    if (argc <= 3)
        fs::remove_all(work);
    return 0;
}
