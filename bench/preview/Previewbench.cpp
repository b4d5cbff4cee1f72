// The phone's page as the preview pane draws it after a keystroke: the
// topic's text made the phone's (soft hyphens put in, CRs out), laid out
// into its pages, the page that holds the cursor found and drawn. For a
// 32 KB and a 1 MB topic of Russian-like prose, at 176x208 in the reader's
// cell font; best and median of the rounds, against deflating the same text
// with zlib (level 6) in the same run, and against a frame (1/60 s); then
// the same after a keystroke, the phone's text of the other lines kept, as
// the pane keeps it.
//
// Usage: previewbench [ROUNDS [KILOBYTES...]]   (default: 7 rounds, 32 and 1024 KB)

#include "Benchutil.h"

#include "book/Bookpreview.h"
#include "book/Datafiles.h"
#include "book/Pipeline.h"
#include "book/Readerpage.h"
#include "image/Pngread.h"
#include "text/Hyphenate.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using namespace volm;
using namespace volm::bench;

namespace {

std::string russianish(size_t bytes, unsigned seed)
{
    static const char* letters = "\xee\xe5\xe0\xe8\xed\xf2\xf1\xf0\xe2\xeb\xea\xec\xe4\xef\xf3\xff\xfb\xfc"
                                 "\xe3\xe7\xe1\xf7\xe9\xf5\xe6\xf8\xfe\xf6\xf9\xfd\xf4\xfa\xb8";
    std::mt19937 rng(seed);
    std::discrete_distribution<int> letter(std::begin(kRussianLetterWeights), std::end(kRussianLetterWeights));
    std::uniform_int_distribution<int> wordLen(1, 11), sentenceLen(4, 16), paraLen(3, 8);
    std::string t;
    while (t.size() < bytes) {
        for (int s = paraLen(rng); s > 0; --s) {
            for (int w = 0, words = sentenceLen(rng); w < words; ++w) {
                for (int i = 0, n = wordLen(rng); i < n; ++i)
                    t += letters[letter(rng)];
                t += w + 1 < words ? " " : ". ";
            }
        }
        t += "\r\n";
    }
    t.resize(bytes);
    return t;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::vector<size_t> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(static_cast<size_t>(std::atol(argv[i])) * 1024);
    if (sizes.empty())
        sizes = {32 * 1024, 1024 * 1024};

    // The reader's own font of cells, as a words book built without the renderer has it.
    TPreviewFont font;
    const TBuildRequest plain;
    font.image = ReadPng(GridFontPng(plain, TFontRenderer{}), "the template's font");
    const int line = font.image.height / 16;
    font.metrics.line = line;
    for (int b = 0x20; b < 256; ++b)
        if (b != 0x7F && b != 0xAD) {
            font.metrics.advance[static_cast<size_t>(b)] = static_cast<uint8_t>(line * 3 / 4);
            font.glyphs[static_cast<size_t>(b)] = {static_cast<uint16_t>(line * (b % 16)), static_cast<uint8_t>(b / 16),
                                                   static_cast<uint8_t>(line * 3 / 4)};
        }
    font.day = font.image.palette;
    const THyphenator hyphenator;
    const int width = 176, height = 208;
    std::printf("preview of a topic after a keystroke, %dx%d, %d-pixel cells, %d rounds\n", width, height, line,
                rounds);
    for (size_t bytes : sizes) {
        const std::string text = russianish(bytes, 7);
        std::vector<double> times, deflates, hyphens, typed;
        size_t pages = 0;
        for (int r = 0; r < rounds; ++r) {
            double t0 = now();
            TReaderTopic topic;
            topic.text = ReaderText(hyphenator.Hyphenate(text));
            hyphens.push_back(now() - t0);
            topic.title = "Topic";
            topic.total = topic.text.size();
            const TReaderPage page(std::move(topic), font.metrics, width, height);
            const std::vector<int> starts = page.PageStarts();
            const int at = TBookPreview::PhoneOffset(text, page.Topic().text, text.size() / 2);
            const TReaderScreen screen = page.Screen(starts[TReaderPage::PageOf(starts, at)]);
            const std::vector<uint32_t> pixels = DrawScreen(screen, font, false, width, height);
            times.push_back(now() - t0);
            pages = starts.size() + (pixels.empty() ? 1 : 0);

            // The pane keeps the phone's text line by line: a keystroke makes one line again.
            TPhoneTexts texts(&hyphenator, false);
            texts.Text(text);
            std::string changed = text;
            changed.insert(changed.begin() + static_cast<std::ptrdiff_t>(changed.size() / 2), '\xe0');
            t0 = now();
            {
                TReaderTopic topic;
                topic.text = texts.Text(changed);
                topic.title = "Topic";
                topic.total = topic.text.size();
                const TReaderPage page(std::move(topic), font.metrics, width, height);
                const std::vector<int> starts = page.PageStarts();
                const int at = TBookPreview::PhoneOffset(changed, page.Topic().text, changed.size() / 2);
                const TReaderScreen screen = page.Screen(starts[TReaderPage::PageOf(starts, at)]);
                const std::vector<uint32_t> pixels = DrawScreen(screen, font, false, width, height);
                typed.push_back(now() - t0);
            }

            t0 = now();
            std::string packed(compressBound(static_cast<uLong>(text.size())), '\0');
            uLongf n = static_cast<uLongf>(packed.size());
            compress2(reinterpret_cast<Bytef*>(packed.data()), &n, reinterpret_cast<const Bytef*>(text.data()),
                      static_cast<uLong>(text.size()), 6);
            deflates.push_back(now() - t0);
        }
        const double best = *std::min_element(times.begin(), times.end());
        const double ref = *std::min_element(deflates.begin(), deflates.end());
        std::printf("%7zu KB: %zu pages; preview best %.2f ms, median %.2f ms; zlib deflate best %.2f ms; "
                    "ratio %.2f; %.2f frames (the phone's text alone: %.2f ms)\n",
                    bytes / 1024, pages, best * 1e3, median(times) * 1e3, ref * 1e3, best / ref, best * 60,
                    *std::min_element(hyphens.begin(), hyphens.end()) * 1e3);
        const double kept = *std::min_element(typed.begin(), typed.end());
        std::printf("%7zu KB, a keystroke with the other lines kept: best %.2f ms, median %.2f ms; ratio %.2f; "
                    "%.2f frames\n",
                    bytes / 1024, kept * 1e3, median(typed) * 1e3, kept / ref, kept * 60);
    }
    return 0;
}
