// Jar writer and template reader against Info-ZIP's zip and unzip, on a
// generated book folder of Russian text in Windows-1251.
#include "archive/Unzip.h"
#include "archive/Zip.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

void writeFile(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Pseudo-Russian text: words of Cyrillic syllables (Windows-1251 bytes),
// drawn with a Zipf-like spread, in sentences and CR LF lines.
class TTextMaker {
public:
    explicit TTextMaker(unsigned seed) : rng_(seed)
    {
        const char* cons = "\xE1\xE2\xE3\xE4\xE6\xE7\xEA\xEB\xEC\xED\xEF\xF0\xF1\xF2\xF4\xF5\xF7\xF8";
        const char* vows = "\xE0\xE5\xE8\xEE\xF3\xFB\xFF\xFE";
        std::uniform_int_distribution<int> syl(1, 4), c(0, 17), v(0, 7);
        for (int i = 0; i < 8000; ++i) {
            std::string w;
            for (int k = syl(rng_); k > 0; --k) {
                w += cons[c(rng_)];
                w += vows[v(rng_)];
            }
            words_.push_back(w);
        }
    }
    std::string make(size_t n)
    {
        std::string s;
        s.reserve(n + 100);
        std::uniform_real_distribution<double> u(0, 1);
        size_t line = 0;
        bool start = true;
        while (s.size() < n) {
            size_t idx = static_cast<size_t>(std::pow(u(rng_), 3.0) * words_.size());
            std::string w = words_[std::min(idx, words_.size() - 1)];
            if (start)
                w[0] = static_cast<char>(static_cast<unsigned char>(w[0]) - 0x20);   // capital
            start = false;
            s += w;
            line += w.size();
            double r = u(rng_);
            if (r < 0.08) {
                s += ". ";
                start = true;
            } else if (r < 0.14) {
                s += ", ";
            } else {
                s += ' ';
            }
            if (line > 70) {
                s += "\r\n";
                line = 0;
            }
        }
        s.resize(n);
        return s;
    }

private:
    std::mt19937 rng_;
    std::vector<std::string> words_;
};

void makeBook(const fs::path& dir, size_t totalBytes)
{
    TTextMaker maker(1);
    std::mt19937 rng(2);
    std::string noise(30000, '\0');
    for (char& c : noise)
        c = static_cast<char>(rng());
    writeFile(dir / "META-INF" / "MANIFEST.MF", "Manifest-Version: 1.0\r\nMIDlet-Name: Book\r\n");
    writeFile(dir / "images" / "Font.png", noise);
    writeFile(dir / "images" / "orvane.png", noise.substr(0, 2000));
    writeFile(dir / "LumeriaMain.class", noise.substr(0, 9000));
    writeFile(dir / "appname.txt", "Book");
    writeFile(dir / "files.txt", "");
    std::string topics;
    size_t written = 0;
    std::uniform_int_distribution<size_t> sz(totalBytes / 600, totalBytes / 200);
    for (int i = 1; written < totalBytes; ++i) {
        size_t n = std::min(sz(rng), totalBytes - written);
        writeFile(dir / "texts" / ("itm" + std::to_string(i)), maker.make(n));
        topics += maker.make(20) + "\r\n";
        written += n;
    }
    writeFile(dir / "topics.txt", topics);
}

uint64_t folderBytes(const fs::path& dir)
{
    uint64_t n = 0;
    for (auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            n += e.file_size();
    return n;
}

struct TRun {
    double seconds = 0;   // wall clock
    double cpu = 0;       // user + system time of the run
    long peakKb = 0;
    bool ok = false;
};

// Runs `work` in a child process: wall time and the child's peak memory.
TRun measure(const std::function<bool()>& work)
{
    auto t0 = Clock::now();
    pid_t pid = fork();
    if (pid == 0)
        _exit(work() ? 0 : 1);
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    TRun r;
    r.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    r.peakKb = ru.ru_maxrss;
    r.cpu = double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
            double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return r;
}

bool shell(const std::string& cmd)
{
    return std::system(cmd.c_str()) == 0;
}

TRun best(int repeats, const std::function<void()>& prepare, const std::function<bool()>& work)
{
    TRun b;
    b.seconds = 1e30;
    b.cpu = 1e30;
    for (int i = 0; i < repeats; ++i) {
        prepare();
        TRun r = measure(work);
        if (!r.ok) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        b.seconds = std::min(b.seconds, r.seconds);
        b.cpu = std::min(b.cpu, r.cpu);
        b.peakKb = std::max(b.peakKb, r.peakKb);
        b.ok = true;
    }
    return b;
}

bool packWithJar(const fs::path& folder, const fs::path& target)
{
    volm::TJar jar;
    jar.FileSpec = {folder.string() + "/*.*"};
    jar.DeflateType = volm::dtDeflateX;
    jar.Switch = volm::swMove;
    jar.DateAttribute = volm::daSysDate;
    jar.DeleteOptions = volm::doFinal;
    jar.SetArchiveFile(target.string());
    return jar.Compress() > 0;
}

bool extractWithUnJar(const fs::path& archive, const fs::path& dir)
{
    volm::TUnJar un;
    un.FileSpec = {"*.*"};
    un.DateAttribute = volm::daSysDate;
    un.RestoreFileAttr = false;
    un.SetArchiveFile(archive.string());
    un.SetExtractDir(dir.string());
    return un.Extract() > 0 && un.FailureCount() == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 3 && std::string(argv[1]) == "--make") {
        // Only writes the book folder (for profiling): --make folder megabytes.
        makeBook(argv[2], std::strtoul(argv[3], nullptr, 10) << 20);
        return 0;
    }
    size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20;
    const int repeats = 3;
    fs::path root = fs::temp_directory_path() / ("volm-bench-archive-" + std::to_string(getpid()));
    fs::create_directories(root);
    fs::path book = root / "book", work = root / "work", out = root / "out";
    makeBook(book, mb << 20);
    size_t files = 0;
    for (auto& e : fs::recursive_directory_iterator(book))
        files += e.is_regular_file();
    uint64_t inBytes = folderBytes(book);
    std::printf("book folder: %zu files, %.1f MB of Windows-1251 text and data\n", files, inBytes / 1048576.0);

    auto freshCopy = [&] {
        fs::remove_all(work);
        fs::copy(book, work, fs::copy_options::recursive);
    };
    fs::path jarFile = root / "book.jar", zipFile = root / "book.zip";
    TRun jar = best(repeats, [&] { freshCopy(); fs::remove(jarFile); },
                    [&] { return packWithJar(work, jarFile); });
    TRun zip = best(repeats, [&] { freshCopy(); fs::remove(zipFile); },
                    [&] { return shell("cd '" + work.string() + "' && exec zip -9 -r -q '" + zipFile.string() + "' ."); });
    uint64_t jarSize = fs::file_size(jarFile), zipSize = fs::file_size(zipFile);
    std::printf("(best of %d runs each; wall clock and CPU time of the run)\n", repeats);
    std::printf("pack     TJar (level 9, move): wall %7.3f s  cpu %7.3f s  %10llu bytes  peak %6ld KB\n",
                jar.seconds, jar.cpu, static_cast<unsigned long long>(jarSize), jar.peakKb);
    std::printf("pack     zip -9 -r -q        : wall %7.3f s  cpu %7.3f s  %10llu bytes  peak %6ld KB\n",
                zip.seconds, zip.cpu, static_cast<unsigned long long>(zipSize), zip.peakKb);
    std::printf("pack     ratio TJar/zip      : wall %.3f  cpu %.3f  size %.4f\n", jar.seconds / zip.seconds,
                jar.cpu / zip.cpu, double(jarSize) / double(zipSize));

    TRun unjar = best(repeats, [&] { fs::remove_all(out); fs::create_directories(out); },
                      [&] { return extractWithUnJar(jarFile, out); });
    if (folderBytes(out) != inBytes) {
        std::fprintf(stderr, "extracted %llu bytes, expected %llu\n",
                     static_cast<unsigned long long>(folderBytes(out)), static_cast<unsigned long long>(inBytes));
        return 1;
    }
    TRun unzip = best(repeats, [&] { fs::remove_all(out); fs::create_directories(out); },
                      [&] { return shell("exec unzip -q -o '" + jarFile.string() + "' -d '" + out.string() + "'"); });
    std::printf("extract  TUnJar              : wall %7.3f s  cpu %7.3f s  peak %6ld KB\n", unjar.seconds,
                unjar.cpu, unjar.peakKb);
    std::printf("extract  unzip -q            : wall %7.3f s  cpu %7.3f s  peak %6ld KB\n", unzip.seconds,
                unzip.cpu, unzip.peakKb);
    std::printf("extract  ratio TUnJar/unzip  : wall %.3f  cpu %.3f\n", unjar.seconds / unzip.seconds,
                unjar.cpu / unzip.cpu);

    // Memory against file size: one file of the whole size, packed and extracted.
    fs::remove_all(book);
    {
        TTextMaker maker(3);
        std::ofstream f((fs::create_directories(book), book / "big.txt"), std::ios::binary);
        for (size_t i = 0; i < mb; ++i)
            f << maker.make(1 << 20);
    }
    TRun bigJar = best(1, [&] { freshCopy(); fs::remove(jarFile); }, [&] { return packWithJar(work, jarFile); });
    TRun bigUn = best(1, [&] { fs::remove_all(out); fs::create_directories(out); },
                      [&] { return extractWithUnJar(jarFile, out); });
    std::printf("memory   one %zu MB file: pack peak %ld KB, extract peak %ld KB (vs %ld / %ld KB for the book)\n",
                mb, bigJar.peakKb, bigUn.peakKb, jar.peakKb, unjar.peakKb);
    if (!std::getenv("VOLM_BENCH_KEEP"))
        fs::remove_all(root);
    return 0;
}
