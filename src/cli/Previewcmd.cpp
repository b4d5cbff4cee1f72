// volm-cli preview: a topic's screen on the phone, drawn into a PNG file
// without a build. The fonts are those a build of the project would give the
// reader (the jar budget and phone family stored for the build dialog count,
// as they do for build); the page is one of those the reader goes through a
// screen at a time from the topic's start, or the screen the reader shows for
// a place in the text (a byte offset into the text as the jar carries it, as
// the reader keeps its places).

#include "cli/Cli.h"

#include "book/Bookpreview.h"
#include "book/Buildparams.h"
#include "book/Phones.h"
#include "common/Errors.h"
#include "image/Pngimage.h"
#include "storage/Project.h"

#ifdef VOLM_HAVE_FONT
#include "book/Fontimage.h"
#endif

#include <iostream>

namespace volm::cli {
namespace {

// A whole number of at most 9 digits, or nothing.
std::optional<long> number(const std::string& s)
{
    if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stol(s);
}

int cmdPreview(const Args& a)
{
    const std::string& project = a["PROJECT"];
    const std::optional<long> topicNumber = number(a["N"]);
    if (!topicNumber || *topicNumber == 0)
        throw UsageError("a topic is given by its position in the list, 1 or more (not \"" + a["N"] + "\")");
    const std::string size = a.value("--size").value_or("");
    const size_t x = size.find('x');
    const std::optional<long> width = x == std::string::npos ? std::nullopt : number(size.substr(0, x));
    const std::optional<long> height = x == std::string::npos ? std::nullopt : number(size.substr(x + 1));
    if (!width || !height || *width < 16 || *height < 16 || *width > 2048 || *height > 2048)
        throw UsageError("--size is the reader's screen as WIDTHxHEIGHT, 16 to 2048 pixels each (176x208), not \"" +
                         size + "\"");
    if (a.has("--page") + a.has("--at") + a.has("--all") > 1)
        throw UsageError("--page, --at and --all exclude each other");
    std::optional<long> page, at, fontSize;
    if (auto v = a.value("--page"); v && (!(page = number(*v)) || *page == 0))
        throw UsageError("--page is a page number, 1 or more, not \"" + *v + "\"");
    if (auto v = a.value("--at"); v && !(at = number(*v)))
        throw UsageError("--at is a byte offset into the topic's text, not \"" + *v + "\"");
    if (auto v = a.value("--font-size"); v && !(fontSize = number(*v)))
        throw UsageError("--font-size is one of the book's font sizes in pixels, not \"" + *v + "\"");
    const std::optional<std::string> out = a.value("-o");
    if (!out || out->empty())
        throw UsageError("-o FILE.png names the picture to write");

    TBuildTexts texts = storedBuildTexts();
    uint64_t maxJar = texts.maxJar;
    if (const TPhoneProfile* phone = texts.phone.empty() ? nullptr : PhoneById(texts.phone))
        maxJar = phone->jar;
    TProject p;
    p.Open(project, TProject::omReadOnly);
    if (static_cast<size_t>(*topicNumber) > p.TopicCount())
        p.Topic(static_cast<size_t>(*topicNumber) - 1); // says there is no such topic
    const size_t topic = static_cast<size_t>(*topicNumber) - 1;
    TFontSheetRenderer sheets;
    TFontRenderer cells;
#ifdef VOLM_HAVE_FONT
    sheets = RenderFontSheet;
    cells = FontImagePng;
#endif
    TBookPreview preview(p, project, sheets, cells, maxJar);
    const std::string text = p.GetText(topic);
    p.CloseProject();

    size_t font = preview.DefaultFont(static_cast<int>(*width));
    if (fontSize) {
        std::string known;
        bool found = false;
        for (size_t k = 0; k < preview.Fonts(); ++k) {
            known += (k ? ", " : "") + std::to_string(preview.FontSize(k));
            if (preview.FontSize(k) == *fontSize) {
                font = k;
                found = true;
            }
        }
        if (!found)
            throw UsageError("--font-size " + std::to_string(*fontSize) + ": the book's font sizes are " + known);
    }
    if (a.has("--night") && !preview.Words())
        throw UsageError("--night: night reading is the words layout's (this book reads in the grid layout)");

    const std::string phone = preview.PhoneText(text);
    const TReaderPage reader = preview.Page(topic, phone, font, static_cast<int>(*width), static_cast<int>(*height));
    const std::vector<int> starts = reader.PageStarts();
    int position = 0;
    if (page) {
        if (static_cast<size_t>(*page) > starts.size())
            throw UsageError("--page " + std::to_string(*page) + ": topic " + std::to_string(topic + 1) + " has " +
                             std::to_string(starts.size()) + (starts.size() == 1 ? " page" : " pages") +
                             " at this size");
        position = starts[static_cast<size_t>(*page) - 1];
    } else if (at) {
        if (static_cast<size_t>(*at) > phone.size())
            throw UsageError("--at " + std::to_string(*at) + ": topic " + std::to_string(topic + 1) + " has " +
                             std::to_string(phone.size()) + " bytes on the phone");
        position = reader.RowOf(static_cast<int>(*at));
    }
    const bool night = a.has("--night");
    auto draw = [&](int from, const std::string& file) {
        const TReaderScreen screen = reader.Screen(from);
        const std::vector<uint32_t> pixels =
            preview.Pixels(screen, font, night, static_cast<int>(*width), static_cast<int>(*height));
        TPNGObject png;
        png.Assign(TBookPreview::Bitmap(pixels, static_cast<int>(*width), static_cast<int>(*height)));
        png.SaveToFile(file);
        std::cout << file << ": page " << TReaderPage::PageOf(starts, screen.position) + 1 << " of " << starts.size()
                  << ", bytes " << screen.position << " to " << screen.end << " of " << phone.size() << ", font "
                  << preview.FontSize(font) << " px" << (night ? ", night" : "") << '\n';
    };
    if (a.has("--all")) {
        // FILE.png becomes FILE-1.png, FILE-2.png, ...
        const std::string stem = out->size() > 4 && out->substr(out->size() - 4) == ".png"
                                     ? out->substr(0, out->size() - 4) : *out;
        for (size_t k = 0; k < starts.size(); ++k)
            draw(starts[k], stem + "-" + std::to_string(k + 1) + ".png");
    } else {
        draw(position, *out);
    }
    for (const std::string& w : preview.FontWarnings())
        std::cout << w << '\n';
    return 0;
}

const Registrar registrar{
    {"preview",
     {"PROJECT", "N"},
     {{"--size", "WxH", "the reader's screen in pixels, as its canvas measures it (176x208)"},
      {"--page", "K", "the K-th screen from the topic's start, as the reader goes on a screen at a time (default 1)"},
      {"--at", "OFFSET",
       "the screen the reader shows for a place in the topic, byte OFFSET of its text as the phone holds it (no CR "
       "bytes, its soft hyphens counted): from the row that holds it"},
      {"--font-size", "S", "one of the book's font sizes in pixels (default: the one the reader opens with)"},
      {"--all", "", "every page, into FILE-1.png, FILE-2.png, ..."},
      {"--night", "", "night reading (the words layout)"},
      {"-o", "FILE.png", "the picture to write"}},
     "draw topic N as the phone shows it, without a build, into a PNG file",
     cmdPreview},
};

} // namespace
} // namespace volm::cli
