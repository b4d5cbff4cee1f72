// The compound-file engine at project scale: writes a project-shaped file
// (N streams of 872 bytes, each then rewritten once with a few KB of text),
// then reopens it, lists it and reads every stream, next to libgsf doing the
// same reading in the same run. Each reader runs in a process of its own, so
// its peak memory is its own.
//
//   storagebench [N [FILE]]      (N = 10000; FILE = a scratch file, removed)

#include "Benchutil.h"
#include "storage/Cfbfile.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace volm::bench;
using namespace volm::cfb;

namespace {

std::u16string u(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// Our reader, in this process: the same line as the libgsf reader prints.
int readMode(const char* path)
{
    double t0 = now();
    auto f = CompoundFile::open(path, CompoundFile::Access::ReadOnly);
    std::vector<ElementInfo> list = f->list();
    double t1 = now();
    std::vector<char> buf(65536);
    long long total = 0;
    for (const ElementInfo& e : list) {
        auto s = f->openStream(e.name);
        for (uint64_t pos = 0; pos < s->size();) {
            size_t n = s->read(pos, buf.data(), buf.size());
            if (n == 0)
                break;
            pos += n;
            total += static_cast<long long>(n);
        }
    }
    double t2 = now();
    std::printf("%zu %lld %.6f %.6f %ld 0\n", list.size(), total, t1 - t0, t2 - t1, peakKb());
    return 0;
}

struct ReadResult {
    long long elements = 0, bytes = 0;
    double open = 0, read = 0;
    long peak = 0;
};

// Runs a reader process three times; keeps the best times and the peak memory.
ReadResult runReader(const std::vector<std::string>& argv)
{
    ReadResult best;
    for (int round = 0; round < 3; ++round) {
        int fds[2];
        if (pipe(fds) != 0)
            std::exit(1);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            std::vector<char*> args;
            for (const std::string& a : argv)
                args.push_back(const_cast<char*>(a.c_str()));
            args.push_back(nullptr);
            execv(args[0], args.data());
            _exit(127);
        }
        close(fds[1]);
        std::string out;
        char b[256];
        ssize_t n;
        while ((n = read(fds[0], b, sizeof b)) > 0)
            out.append(b, static_cast<size_t>(n));
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        ReadResult r;
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
            std::sscanf(out.c_str(), "%lld %lld %lf %lf %ld", &r.elements, &r.bytes, &r.open, &r.read, &r.peak) != 5) {
            std::fprintf(stderr, "storagebench: %s failed\n", argv[0].c_str());
            std::exit(1);
        }
        if (round == 0 || r.open + r.read < best.open + best.read) {
            long peak = std::max(best.peak, r.peak);
            best = r;
            best.peak = peak;
        }
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--read") == 0)
        return readMode(argv[2]);
    int n = argc > 1 ? std::atoi(argv[1]) : 10000;
    bool scratch = argc <= 2;
    std::string path = scratch ? (std::filesystem::temp_directory_path() / ("storagebench-" + std::to_string(getpid()) + ".volm")).string()
                               : argv[2];
    std::string self = std::filesystem::canonical("/proc/self/exe").string();

    // Writing: appends, as the project window makes them, then one rewrite
    // of every topic with its text (truncate, write the whole content).
    std::mt19937 rng(1);
    double appendFirst = 0, appendLast = 0, rewrite = 0;
    long writesFirst = 0, writesLast = 0;
    {
        std::remove(path.c_str());
        auto f = CompoundFile::create(path, false);
        std::string fresh(872, '\0');
        fresh[0] = 1;
        fresh[56] = 68;
        fresh[64] = 68;
        double t0 = now();
        for (int i = 0; i < n; ++i) {
            double a = now();
            long w = f->io().writesDone();
            auto s = f->createStream(u(std::to_string(101 + i)), false);
            s->write(0, fresh.data(), fresh.size());
            if (i < 1000) {
                appendFirst += now() - a;
                writesFirst += f->io().writesDone() - w;
            } else if (i >= n - 1000) {
                appendLast += now() - a;
                writesLast += f->io().writesDone() - w;
            }
        }
        double t1 = now();
        for (int i = 0; i < n; ++i) {
            auto s = f->openStream(u(std::to_string(101 + i)));
            std::string text(fresh);
            text.resize(872 + 1500 + rng() % 4000, static_cast<char>('a' + i % 26));
            s->resize(0);
            s->write(0, text.data(), text.size());
        }
        f->commit();
        rewrite = now() - t1;
        std::printf("write: %d appends %.3f s (first 1000: %.3f s, %.1f writes each; last 1000: %.3f s, %.1f writes each;"
                    " ratio last/first %.2f); %d rewrites %.3f s\n",
                    n, t1 - t0, appendFirst, writesFirst / 1000.0, appendLast, writesLast / 1000.0,
                    appendLast / appendFirst, n, rewrite);
    }
    double fileMb = std::filesystem::file_size(path) / 1048576.0;

    ReadResult ours = runReader({self, "--read", path});
    std::printf("file: %.1f MB, %lld streams, %.1f MB of stream data\n", fileMb, ours.elements, ours.bytes / 1048576.0);
    std::printf("volm:   open+list %.4f s, read all %.4f s, peak %.1f MB (%.1f%% of the file)\n", ours.open, ours.read,
                ours.peak / 1024.0, 100.0 * ours.peak / 1024.0 / fileMb);
#ifdef VOLM_GSF_READER
    ReadResult gsf = runReader({VOLM_GSF_READER, path});
    std::printf("libgsf: open+list %.4f s, read all %.4f s, peak %.1f MB (%.1f%% of the file)\n", gsf.open, gsf.read,
                gsf.peak / 1024.0, 100.0 * gsf.peak / 1024.0 / fileMb);
    if (gsf.elements != ours.elements || gsf.bytes != ours.bytes)
        std::printf("MISMATCH: libgsf saw %lld streams, %lld bytes\n", gsf.elements, gsf.bytes);
    std::printf("ratios: our open+list / libgsf open+read-everything %.3f (target <= 0.2); "
                "our read-all / libgsf read-all %.2f (target <= 1); peak memory volm/libgsf %.2f\n",
                ours.open / (gsf.open + gsf.read), ours.read / gsf.read, static_cast<double>(ours.peak) / gsf.peak);
#else
    std::printf("libgsf-1 development files not found: no reference run\n");
#endif
    if (scratch)
        std::remove(path.c_str());
    return 0;
}
