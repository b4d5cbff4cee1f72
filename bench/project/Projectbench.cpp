// Project operations at scale: append N topics one by one, commit N texts,
// open the project and list it, pack it. Prints times, peak memory and the
// bytes written per operation, and the ratio of listing to libgsf reading the
// same file (every stream's header) in the same run.
//
//   projectbench [N] [FOLDER]      (N defaults to 10000, FOLDER to /tmp)

#include "Benchutil.h"
#include "storage/Pack.h"
#include "storage/Project.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace volm;
using namespace volm::bench;
namespace fs = std::filesystem;

namespace {

// Bytes this process handed to write calls so far.
uint64_t written()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t v;
    while (io >> key >> v)
        if (key == "wchar:")
            return v;
    return 0;
}

struct Phase {
    const char* name;
    double start;
    uint64_t w0;
    Phase(const char* n) : name(n), start(now()), w0(written()) { resetPeak(); }
    void report(size_t ops)
    {
        double t = now() - start;
        uint64_t w = written() - w0;
        std::printf("%-22s %9.3f s  %9.2f us/op  %10.0f bytes written/op  peak %7ld KB\n", name, t,
                    t / ops * 1e6, double(w) / ops, peakKb());
    }
};

} // namespace

int main(int argc, char** argv)
{
    const size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
    const fs::path folder = argc > 2 ? argv[2] : "/tmp";
    const std::string path = (folder / ("projectbench-" + std::to_string(::getpid()) + ".volm")).string();
    fs::remove(path);
    std::printf("project benchmark: %zu topics, %s\n", n, path.c_str());

    try {
        {
            TProject p;
            p.Open(path, TProject::omCreateNew);
            Phase ph("append");
            double chunkStart = now(), first = 0, last = 0;
            const size_t chunk = n >= 10 ? n / 10 : 1;
            for (size_t i = 0; i < n; ++i) {
                p.AddTopic("Topic number " + std::to_string(i + 1));
                if ((i + 1) % chunk == 0) {
                    double t = now() - chunkStart;
                    if (i + 1 == chunk)
                        first = t;
                    last = t;
                    chunkStart = now();
                }
            }
            ph.report(n);
            std::printf("  first %zu appends %.3f s, last %zu %.3f s: ratio %.2f (target <= 1.2)\n", chunk, first,
                        chunk, last, first > 0 ? last / first : 0);

            Phase pc("commit texts");
            std::string text;
            for (int i = 0; i < 40; ++i)
                text += "\xD2\xE5\xEA\xF1\xF2 \xF2\xEE\xEF\xE8\xEA\xE0 text line " + std::to_string(i) + "\r\n";
            for (size_t i = 0; i < n; ++i)
                p.CommitText(i, text);
            pc.report(n);
            std::printf("  text %zu bytes per topic\n", text.size());
            p.CloseProject();
        }
        std::printf("file size %ju bytes\n", uintmax_t(fs::file_size(path)));

        double best = 1e9;
        size_t listed = 0;
        for (int run = 0; run < 3; ++run) {
            Phase pl("open and list");
            TProject p;
            p.Open(path, TProject::omOpenExisting);
            size_t chars = 0;
            for (size_t i = 0; i < p.TopicCount(); ++i)
                chars += p.Topic(i).Name.size() + p.Item(i).GetTextLength();
            listed = p.TopicCount();
            double t = now() - pl.start;
            pl.report(listed ? listed : 1);
            best = std::min(best, t);
            (void)chars;
        }
        double gsfBest = 1e9;
        int streams = 0;
        for (int run = 0; run < 3; ++run) {
            double t = gsfRead(path, streams);
            if (t >= 0)
                gsfBest = std::min(gsfBest, t);
        }
        if (gsfBest < 1e9)
            std::printf("  listing %zu topics %.3f s; libgsf reading %d stream headers %.3f s: ratio %.3f "
                        "(target <= 0.2)\n",
                        listed, best, streams, gsfBest, best / gsfBest);
        else
            std::printf("  libgsf reference not built; no ratio\n");

        {
            uintmax_t before = fs::file_size(path);
            Phase pp("pack");
            PackProject(path);
            pp.report(1);
            std::printf("  %ju -> %ju bytes\n", before, uintmax_t(fs::file_size(path)));
        }
        {
            Phase pd("delete half, pack");
            TProject p;
            p.Open(path, TProject::omOpenExisting);
            for (size_t i = p.TopicCount(); i-- > 0;)
                if (i % 2)
                    p.DeleteTopic(i);
            p.CloseProject();
            uintmax_t before = fs::file_size(path);
            PackProject(path);
            pd.report(n / 2);
            std::printf("  %ju -> %ju bytes\n", before, uintmax_t(fs::file_size(path)));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "projectbench: %s\n", e.what());
        fs::remove(path);
        return 1;
    }
    fs::remove(path);
    return 0;
}
