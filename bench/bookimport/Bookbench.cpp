// Book import benchmark: makes a 5 MB FB2 and a 5 MB EPUB (about 11 MB of
// text, deflated) of Russian-like prose (UTF-8, 100 chapters; the FB2's in 10
// parts), imports each into a fresh project
// with `volm-cli import-book` (read, split into topics, appended), and reads
// the same files with reference tools in the same run: `xmllint --stream
// --noout` for the FB2, Python's zipfile with xml.etree parsing every member
// for the EPUB. Prints times, peak memory and ratios; best and median of three
// rounds (targets: under 1 s, peak memory under 10 times the file's size).
//
//   bookbench [MEGABYTES [FOLDER]]

#include "Benchutil.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace volm::bench;

namespace {

// Paragraphs of Cyrillic words (UTF-8) with Russian-like letter frequencies.
class TProse {
public:
    explicit TProse(unsigned seed) : rng_(seed) {}

    std::string Paragraph()
    {
        static const char* letters[] = {"о", "е", "а", "и", "н", "т", "с", "р", "в", "л", "к", "м", "д", "п", "у",
                                        "я", "ы", "ь", "г", "з", "б", "ч", "й", "х", "ж", "ш", "ю", "ц", "щ", "э",
                                        "ф", "ъ", "ё"};
        std::discrete_distribution<int> letter(std::begin(kRussianLetterWeights), std::end(kRussianLetterWeights));
        std::uniform_int_distribution<int> wordLen(1, 11), sentenceLen(4, 16), paraLen(2, 7);
        std::string t;
        int sentences = paraLen(rng_);
        for (int s = 0; s < sentences; ++s) {
            int words = sentenceLen(rng_);
            for (int w = 0; w < words; ++w) {
                int n = wordLen(rng_);
                for (int i = 0; i < n; ++i)
                    t += letters[letter(rng_)];
                t += w + 1 < words ? (rng_() % 9 == 0 ? ", " : " ") : (s + 1 < sentences ? ". " : ".");
            }
        }
        return t;
    }

private:
    std::mt19937 rng_;
};

constexpr int kParts = 10, kChapters = 100;

// The chapters' paragraphs, `bytes` in all.
std::vector<std::vector<std::string>> MakeChapters(size_t bytes)
{
    TProse prose(20261208);
    std::vector<std::vector<std::string>> chapters(kChapters);
    size_t perChapter = bytes / kChapters;
    for (auto& ch : chapters) {
        size_t n = 0;
        while (n < perChapter) {
            ch.push_back(prose.Paragraph());
            n += ch.back().size() + 7;
        }
    }
    return chapters;
}

void WriteFb2(const fs::path& path, const std::vector<std::vector<std::string>>& chapters)
{
    std::ofstream f(path, std::ios::binary);
    f << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<FictionBook xmlns=\"http://www.gribuser.ru/xml/fictionbook/2.0\">"
         "<description><title-info><author><first-name>Тест</first-name><last-name>Тестов</last-name></author>"
         "<book-title>Большая книга</book-title></title-info></description>\n<body>\n";
    for (int p = 0; p < kParts; ++p) {
        f << "<section><title><p>Часть " << p + 1 << "</p></title>\n";
        for (int c = p * kChapters / kParts; c < (p + 1) * kChapters / kParts; ++c) {
            f << "<section><title><p>Глава " << c + 1 << "</p></title>\n";
            for (const std::string& para : chapters[static_cast<size_t>(c)])
                f << "<p>" << para << "</p>\n";
            f << "</section>\n";
        }
        f << "</section>\n";
    }
    f << "</body>\n</FictionBook>\n";
}

// The EPUB is packed by Python's zipfile from files written here.
bool WriteEpub(const fs::path& path, const fs::path& work, const std::vector<std::vector<std::string>>& chapters)
{
    fs::path src = work / "epub";
    fs::create_directories(src);
    std::string nav, manifest, spine;
    for (int c = 0; c < kChapters; ++c) {
        std::string name = "ch" + std::to_string(c + 1) + ".xhtml";
        std::ofstream f(src / name, std::ios::binary);
        f << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\"><head><title>"
          << c + 1 << "</title></head><body>\n<h2 id=\"c\">Глава " << c + 1 << "</h2>\n";
        for (const std::string& para : chapters[static_cast<size_t>(c)])
            f << "<p>" << para << "</p>\n";
        f << "</body></html>\n";
        nav += "<li><a href=\"" + name + "#c\">Глава " + std::to_string(c + 1) + "</a></li>";
        manifest += "<item id=\"c" + std::to_string(c) + "\" href=\"" + name + "\" media-type=\"application/xhtml+xml\"/>";
        spine += "<itemref idref=\"c" + std::to_string(c) + "\"/>";
    }
    std::ofstream(src / "nav.xhtml", std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" "
           "xmlns:epub=\"http://www.idpf.org/2007/ops\"><body><nav epub:type=\"toc\"><ol>"
        << nav << "</ol></nav></body></html>\n";
    std::ofstream(src / "content.opf", std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\">"
           "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>Большая книга</dc:title></metadata>"
           "<manifest><item id=\"nav\" href=\"nav.xhtml\" media-type=\"application/xhtml+xml\" properties=\"nav\"/>"
        << manifest << "</manifest><spine>" << spine << "</spine></package>\n";
    const char* pack =
        "import os, sys, zipfile\n"
        "src, out = sys.argv[1], sys.argv[2]\n"
        "with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:\n"
        "    z.writestr('mimetype', 'application/epub+zip', zipfile.ZIP_STORED)\n"
        "    z.writestr('META-INF/container.xml', '<?xml version=\"1.0\"?><container version=\"1.0\" "
        "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\"><rootfiles><rootfile full-path=\"OEBPS/content.opf\" "
        "media-type=\"application/oebps-package+xml\"/></rootfiles></container>')\n"
        "    for n in sorted(os.listdir(src)):\n"
        "        z.write(os.path.join(src, n), 'OEBPS/' + n)\n";
    return runChild({"python3", "-c", pack, src.string(), path.string()}).status == 0;
}

TRun Best(const std::vector<TRun>& v)
{
    return *std::min_element(v.begin(), v.end(), [](auto& a, auto& b) { return a.seconds < b.seconds; });
}

TRun Median(std::vector<TRun> v)
{
    std::sort(v.begin(), v.end(), [](auto& a, auto& b) { return a.seconds < b.seconds; });
    return v[v.size() / 2];
}

long Peak(const std::vector<TRun>& v)
{
    long p = 0;
    for (const TRun& r : v)
        p = std::max(p, r.maxRssKiB);
    return p;
}

} // namespace

int main(int argc, char** argv)
{
    size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 5;
    fs::path work = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path() / "volm-bookbench";
    const std::string cli = VOLM_CLI_PATH;
    fs::remove_all(work);
    fs::create_directories(work);

    const double target = static_cast<double>(megabytes) * 1024 * 1024;
    fs::path fb2 = work / "big.fb2", epub = work / "big.epub";
    WriteFb2(fb2, MakeChapters(static_cast<size_t>(target * 0.95))); // markup makes up the rest
    // The EPUB is deflated: its text is as much larger as it takes to make a
    // file of the same size.
    double factor = 2.3;
    for (int attempt = 0; attempt < 3; ++attempt) {
        fs::remove_all(work / "epub");
        if (!WriteEpub(epub, work, MakeChapters(static_cast<size_t>(target * factor)))) {
            std::fprintf(stderr, "bookbench: python3 could not pack the EPUB\n");
            return 1;
        }
        double got = static_cast<double>(fs::file_size(epub));
        if (got > target * 0.97 && got < target * 1.03)
            break;
        factor *= target / got;
    }
    const char* etree = "import sys, zipfile, xml.etree.ElementTree as ET\n"
                        "z = zipfile.ZipFile(sys.argv[1])\n"
                        "for n in z.namelist():\n"
                        "    if n.endswith(('.xhtml', '.opf', '.xml')):\n"
                        "        ET.fromstring(z.read(n))\n";

    struct TCase {
        const char* name;
        fs::path file;
        std::vector<std::string> reference;
        const char* referenceName;
    } cases[] = {
        {"FB2", fb2, {"xmllint", "--stream", "--noout", fb2.string()}, "xmllint --stream"},
        {"EPUB", epub, {"python3", "-c", etree, epub.string()}, "zipfile + ElementTree"},
    };
    constexpr int kRounds = 3;
    std::printf("book import, %zu MB books of %d chapters; best of %d rounds (median in brackets)\n", megabytes,
                kChapters, kRounds);
    for (const TCase& c : cases) {
        const double mb = static_cast<double>(fs::file_size(c.file)) / 1048576.0;
        std::vector<TRun> ours, ref;
        for (int round = 0; round < kRounds; ++round) {
            std::string name = "p";
            name += std::to_string(round);
            name += ".volm";
            fs::path project = work / name;
            fs::remove(project);
            if (runChild({cli, "new", project.string()}).status != 0) {
                std::fprintf(stderr, "bookbench: volm-cli new failed\n");
                return 1;
            }
            TRun r = runChild({cli, "import-book", project.string(), c.file.string(), "--split-at", "32K"});
            if (r.status != 0) {
                std::fprintf(stderr, "bookbench: volm-cli import-book %s failed (status %d)\n", c.file.c_str(),
                             r.status);
                return 1;
            }
            ours.push_back(r);
            TRun x = runChild(c.reference);
            if (x.status != 0) {
                std::fprintf(stderr, "bookbench: %s failed (status %d)\n", c.referenceName, x.status);
                return 1;
            }
            ref.push_back(x);
        }
        TRun a = Best(ours), b = Best(ref);
        std::printf("%-4s %.1f MB  volm-cli import-book: %5.2f s [%5.2f] cpu %5.2f s  peak %6.1f MB (%.1f x file)\n",
                    c.name, mb, a.seconds, Median(ours).seconds, a.cpuSeconds, Peak(ours) / 1024.0,
                    Peak(ours) / 1024.0 / mb);
        std::printf("%-4s %.1f MB  %-21s %5.2f s [%5.2f] cpu %5.2f s  peak %6.1f MB\n", c.name, mb,
                    (std::string(c.referenceName) + ":").c_str(), b.seconds, Median(ref).seconds, b.cpuSeconds,
                    Peak(ref) / 1024.0);
        std::printf("%-4s ratio (import-book / reference): %.2f time, %.2f peak memory  "
                    "(targets: under 1 s, under 10 x the file)\n",
                    c.name, a.seconds / b.seconds, static_cast<double>(Peak(ours)) / static_cast<double>(Peak(ref)));
    }
    if (argc <= 2)
        fs::remove_all(work);
    return 0;
}
