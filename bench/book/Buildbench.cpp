// Generation benchmark: makes a large book (2,000 topics, about 30 MB of
// Russian-like Windows-1251 text), builds it with `volm-cli build`, then packs
// the same files (the jar's content, unpacked) with `zip -9 -r -q`, and prints
// both end-to-end times, the peak memory of each and the ratio.
//
//   buildbench [TOPICS [MEGABYTES [FOLDER]]]

#include "storage/Project.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TRun {
    int status = -1;
    double seconds = 0;
    double cpuSeconds = 0; // user + system
    long maxRssKiB = 0;
};

// Runs a program (no shell) in `dir`, with its output sent to /dev/null.
TRun runChild(const std::vector<std::string>& argv, const fs::path& dir)
{
    std::fflush(stdout); // the child must not print what is still buffered here
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        if (!dir.empty() && ::chdir(dir.c_str()) != 0)
            ::_exit(126);
        std::FILE* null = std::freopen("/dev/null", "w", stdout);
        (void)null;
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    TRun r;
    int status = 0;
    struct rusage ru {};
    if (pid > 0 && ::wait4(pid, &status, 0, &ru) == pid) {
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.maxRssKiB = ru.ru_maxrss;
        r.cpuSeconds = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
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
        static const int weights[] = {110, 85, 80, 74, 67, 63, 55, 47, 45, 44, 35, 32, 30, 28, 26, 20, 19, 17,
                                      17, 16, 16, 14, 12, 10, 9, 7, 6, 5, 4, 3, 3, 1, 1};
        std::discrete_distribution<int> letter(std::begin(weights), std::end(weights));
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

} // namespace

int main(int argc, char** argv)
{
    size_t topics = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 2000;
    size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 30;
    fs::path work = argc > 3 ? fs::path(argv[3]) : fs::temp_directory_path() / "volm-buildbench";
    std::string cli = VOLM_CLI_PATH;
    if (topics == 0) {
        std::fprintf(stderr, "buildbench: at least one topic\n");
        return 2;
    }

    fs::remove_all(work);
    fs::create_directories(work);
    fs::path project = work / "Bigbook.volm";

    std::printf("making %zu topics, %zu MB of text in %s\n", topics, megabytes, project.c_str());
    auto t0 = std::chrono::steady_clock::now();
    size_t perTopic = megabytes * 1024 * 1024 / topics;
    {
        volm::TProject p;
        p.Open(project.string(), volm::TProject::omCreateNew);
        TRussianish gen(20261208);
        for (size_t i = 0; i < topics; ++i) {
            size_t at = p.AddTopic("\xc3\xeb\xe0\xe2\xe0 " + std::to_string(i + 1)); // "Глава N"
            p.CommitText(at, gen.Text(perTopic));
        }
        p.CloseProject();
    }
    std::printf("  project file: %.1f MB in %.1f s\n", fs::file_size(project) / 1048576.0,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

    // Each side runs kRounds times, alternating, so that a busy machine
    // disturbs both alike; the best round of each is compared (and the median
    // shown).
    constexpr int kRounds = 3;
    fs::path jar = work / "Bigbook" / "Bigbook.jar";
    fs::path files = work / "files";
    std::vector<TRun> builds, zips;
    for (int round = 0; round < kRounds; ++round) {
        TRun build = runChild({cli, "build", project.string(), "--vendor", "Bench", "--url", "http://example.org/"}, {});
        if (build.status != 0 || !fs::exists(jar)) {
            std::fprintf(stderr, "buildbench: volm-cli build failed (status %d)\n", build.status);
            return 1;
        }
        builds.push_back(build);
        // The same files for zip: the jar's content, unpacked.
        fs::remove_all(files);
        fs::remove(work / "reference.zip");
        fs::create_directories(files);
        if (runChild({"unzip", "-q", jar.string(), "-d", files.string()}, {}).status != 0) {
            std::fprintf(stderr, "buildbench: unzip failed\n");
            return 1;
        }
        TRun zip = runChild({"zip", "-9", "-r", "-q", (work / "reference.zip").string(), "."}, files);
        if (zip.status != 0) {
            std::fprintf(stderr, "buildbench: zip failed (status %d)\n", zip.status);
            return 1;
        }
        zips.push_back(zip);
    }
    auto best = [](const std::vector<TRun>& v) {
        return *std::min_element(v.begin(), v.end(), [](auto& a, auto& b) { return a.seconds < b.seconds; });
    };
    auto median = [](std::vector<TRun> v) {
        std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.seconds < b.seconds; });
        return v[v.size() / 2];
    };
    long peak = 0;
    for (const TRun& b : builds)
        peak = std::max(peak, b.maxRssKiB);
    TRun build = best(builds), zip = best(zips);
    std::printf("best of %d rounds:\n", kRounds);
    std::printf("volm-cli build: %7.2f s (cpu %6.2f s, median %6.2f s)  peak memory %6.1f MB  jar %.1f MB\n",
                build.seconds, build.cpuSeconds, median(builds).seconds, peak / 1024.0,
                fs::file_size(jar) / 1048576.0);
    std::printf("zip -9 -r -q:   %7.2f s (cpu %6.2f s, median %6.2f s)  peak memory %6.1f MB  zip %.1f MB\n",
                zip.seconds, zip.cpuSeconds, median(zips).seconds, zip.maxRssKiB / 1024.0,
                fs::file_size(work / "reference.zip") / 1048576.0);
    std::printf("ratio (build / zip -9): %.2f end to end (median %.2f), %.2f cpu  "
                "(target at most 1.30; peak memory target under 64 MB)\n",
                build.seconds / zip.seconds, median(builds).seconds / median(zips).seconds,
                build.cpuSeconds / zip.cpuSeconds);
    if (argc <= 3)
        fs::remove_all(work);
    return 0;
}
