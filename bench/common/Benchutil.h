#pragma once
// What the benchmarks share: the clock, this process's memory as the kernel
// counts it, child processes measured by the kernel, the libgsf reader, and
// the letter frequencies of the generated Russian-like texts.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace volm::bench {

// Seconds on the steady clock.
inline double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A "Vm...:" line of /proc/self/status ("VmRSS:", "VmHWM:"), in KB; -1 when
// there is none.
inline long statusKb(const char* key)
{
    std::ifstream st("/proc/self/status");
    std::string line;
    const size_t n = std::char_traits<char>::length(key);
    while (std::getline(st, line))
        if (line.compare(0, n, key) == 0)
            return std::atol(line.c_str() + n);
    return -1;
}
// This process's peak resident memory since it started or the last resetPeak.
inline long peakKb() { return statusKb("VmHWM:"); }
inline void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A child process that ran to its end.
struct TRun {
    int status = -1;       // its exit status; -1 when it did not exit
    double seconds = 0;
    double cpuSeconds = 0; // user + system
    long maxRssKiB = 0;
};

// Waits for the child `pid`, started at `start`.
inline TRun finishChild(pid_t pid, std::chrono::steady_clock::time_point start)
{
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

// Runs a program (no shell) in `dir` (here when empty), with its output sent
// to /dev/null.
inline TRun runChild(const std::vector<std::string>& argv, const std::filesystem::path& dir = {})
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
    return finishChild(pid, start);
}

// libgsf opening `file` and reading every root stream's topic header, in
// seconds, with the number of streams; -1 when the benchmark was built
// without the reader (VOLM_GSF_READER, set by volm_gsf_reader in CMake).
inline double gsfRead(const std::string& file, int& streams)
{
    streams = 0;
#ifdef VOLM_GSF_READER
    std::fflush(stdout);
    const std::string cmd = std::string(VOLM_GSF_READER) + " '" + file + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    double t = -1;
    if (std::fscanf(p, "%d %lf", &streams, &t) != 2)
        t = -1;
    pclose(p);
    return t;
#else
    (void)file;
    return -1;
#endif
}

// How often Russian letters occur, per mille, in the order
// о е а и н т с р в л к м д п у я ы ь г з б ч й х ж ш ю ц щ э ф ъ ё.
inline constexpr int kRussianLetterWeights[33] = {110, 85, 80, 74, 67, 63, 55, 47, 45, 44, 35, 32, 30, 28, 26, 20, 19,
                                                  17,  17, 16, 16, 14, 12, 10, 9,  7,  6,  5,  4,  3,  3,  1,  1};

} // namespace volm::bench
