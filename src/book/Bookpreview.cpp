#include "book/Bookpreview.h"

#include "book/Datafiles.h"
#include "common/Errors.h"
#include "text/Hyphenate.h"

#include <utility>

namespace volm {
namespace {

// The reader's paper: the first palette entry, white without a palette.
uint32_t paperOf(const std::vector<uint32_t>& palette)
{
    return palette.empty() ? 0xFFFFFFu : palette.front() & 0xFFFFFFu;
}

} // namespace

TBuildRequest PreviewRequest(const TProject& project, const std::string& projectPath, uint64_t maxJar)
{
    TBuildRequest request;
    request.projectPath = projectPath;
    request.maxJar = maxJar;
    request.title = project.Title();
    request.font = project.FontSettings();
    request.layout = project.Layout();
    request.paragraphs = project.Paragraphs().value_or(TParagraphStyle::Indent);
    if (std::optional<std::string> stored = project.SheetSizes()) {
        std::optional<std::vector<int>> parsed = ParseSheetSizes(*stored);
        if (!parsed)
            throw Error("The font sizes \"" + *stored + "\" stored in " + projectPath + " are not 1 to 3 sizes");
        request.sizes = *parsed;
    }
    request.hyphens = project.Hyphens().value_or(true);
    return request;
}

TBookPreview::TBookPreview(const TProject& project, const std::string& projectPath,
                           const TFontSheetRenderer& sheets, const TFontRenderer& cells, uint64_t maxJar)
    : request_(PreviewRequest(project, projectPath, maxJar)), sheets_(sheets), cells_(cells)
{
    request_.renderSheet = sheets;
    words_ = request_.layout == TReaderLayout::Words;
    if (words_ && request_.hyphens)
        hyphenator_ = std::make_unique<THyphenator>();
    texts_ = std::make_unique<TPhoneTexts>(hyphenator_.get(), !words_);
    for (size_t i = 0; i < project.TopicCount(); ++i)
        names_.push_back(project.Topic(i).Name);
    note_ = TitleLine(EmptyNote(names_));
    used_ = BookBytes(BookNameOf(request_), names_);
    for (size_t i = 0; i < project.TopicCount(); ++i) {
        const std::string text = project.GetText(i);
        AddUsedBytes(used_, text);
        // Not kept line by line: the pane types into one topic at a time.
        sizes_.push_back(TPhoneTexts(hyphenator_.get(), !words_).Text(text).size());
    }
    loadFonts();
}

TBookPreview::~TBookPreview() = default;

void TBookPreview::loadFonts()
{
    fonts_.clear();
    warnings_.clear();
    auto add = [&](const std::string& png, const std::string* map) {
        TPreviewFont f;
        f.image = ReadPng(png, "the font image");
        if (map) {
            std::optional<std::pair<int, TGlyphRects>> parsed = ParseFontMap(*map);
            if (!parsed)
                throw Error("The font map of " + request_.projectPath + " is damaged");
            f.metrics.line = parsed->first;
            f.glyphs = parsed->second;
            for (size_t b = 0; b < 256; ++b)
                f.metrics.advance[b] = f.glyphs[b].advance;
        } else {
            f.metrics.cells = true;
            f.metrics.line = f.image.height / 16;
        }
        f.day = f.image.palette;
        f.night = f.day;
        for (uint32_t& c : f.night)
            c = (c & 0xFF000000u) | (~c & 0xFFFFFFu);
        if (map) {
            f.dayPaper = paperOf(f.day);
            f.nightPaper = paperOf(f.night);
        }
        fonts_.push_back(std::move(f));
    };
    if (words_) {
        for (const TFontSheet& s : WordsFontSheets(request_, used_, &warnings_))
            add(s.png, &s.map);
    } else {
        add(GridFontPng(request_, cells_), nullptr);
    }
}

void TBookPreview::Refresh()
{
    loadFonts();
}

size_t TBookPreview::DefaultFont(int width) const
{
    size_t k = fonts_.size();
    for (; k > 1; --k)
        if ((width - 2) / (1 + fonts_[k - 1].metrics.advance['0']) >= 20)
            break;
    return k > 0 ? k - 1 : 0;
}

std::string TPhoneTexts::Text(std::string_view text)
{
    // Words never cross a line end, nor does what the reader's text drops.
    if (lines_.size() > 4096 + text.size() / 16)
        lines_.clear();   // mostly lines typed over since
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string line(text.substr(at, end - at));
        auto it = lines_.find(line);
        if (it == lines_.end())
            it = lines_.emplace(line, ReaderText(hyphenator_ ? hyphenator_->Hyphenate(line) : line, dropMarks_)).first;
        out += it->second;
        at = end;
    }
    return out;
}

int TBookPreview::PhoneOffset(const std::string& text, const std::string& phone, size_t offset)
{
    // The phone's text is the project's without its CRs (and, in a grid
    // book, its heading marks), with soft hyphens put in.
    size_t i = 0, j = 0;
    while (i < offset && i < text.size()) {
        if (j < phone.size() && phone[j] == text[i]) {
            ++i;
            ++j;
        } else if (j < phone.size() && static_cast<uint8_t>(phone[j]) == 0xAD) {
            ++j;
        } else {
            ++i;
        }
    }
    return static_cast<int>(j);
}

bool TBookPreview::SetText(size_t topic, const std::string& phoneText, const std::string& text)
{
    if (topic < sizes_.size())
        sizes_[topic] = phoneText.size();
    bool lacking = false;
    for (char c : text) {
        const uint8_t b = static_cast<uint8_t>(c);
        if (!used_[b]) {
            used_[b] = true;
            lacking = lacking || !IsSheetControl(b);
        }
    }
    return lacking && words_;
}

TReaderPage TBookPreview::Page(size_t topic, const std::string& phoneText, size_t font, int width,
                               int height) const
{
    TReaderTopic t;
    t.text = phoneText;
    t.title = topic < names_.size() ? TitleLine(names_[topic]) : std::string(" ");
    t.note = {note_};
    t.words = words_;
    t.gap = request_.paragraphs == TParagraphStyle::Gap;
    t.endMark = words_ && topic + 1 == names_.size();
    for (size_t i = 0; i < sizes_.size(); ++i) {
        if (i < topic)
            t.before += sizes_[i];
        t.total += i == topic ? phoneText.size() : sizes_[i];
    }
    return TReaderPage(std::move(t), fonts_.at(font).metrics, width, height);
}

std::vector<uint32_t> TBookPreview::Pixels(const TReaderScreen& screen, size_t font, bool night, int width,
                                           int height) const
{
    return DrawScreen(screen, fonts_.at(font), night && words_, width, height);
}

std::vector<uint32_t> DrawScreen(const TReaderScreen& screen, const TPreviewFont& f, bool night, int width,
                                 int height)
{
    const bool dark = night && !f.day.empty();
    const uint32_t paper = dark ? f.nightPaper : f.dayPaper;
    const uint32_t ink = paper ^ 0xFFFFFFu;
    const std::vector<uint32_t>& palette = dark ? f.night : f.day;
    std::vector<uint32_t> px(static_cast<size_t>(width) * static_cast<size_t>(height), paper);
    const int line = f.metrics.line;
    for (const TGlyphAt& g : screen.glyphs) {
        const int w = f.metrics.Width(g.byte);
        const int gx = f.metrics.cells ? line * (g.byte & 15) : f.glyphs[g.byte].x;
        const int gy = f.metrics.cells ? line * (g.byte >> 4) : line * f.glyphs[g.byte].row;
        for (int y = g.y < 0 ? 0 : g.y; y < g.y + line && y < height; ++y) {
            const int iy = gy + y - g.y;
            if (iy < 0 || iy >= f.image.height)
                continue;
            for (int x = g.x < 0 ? 0 : g.x; x < g.x + w && x < width; ++x) {
                const int ix = gx + x - g.x;
                if (ix < 0 || ix >= f.image.width)
                    continue;
                const uint32_t c = f.image.At(ix, iy, palette);
                if ((c >> 24) >= 0x80)
                    px[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = c & 0xFFFFFFu;
            }
        }
    }
    if (screen.progressY >= 0 && screen.progressY < height)
        for (int x = 0; x < screen.progressWidth && x < width; ++x)
            px[static_cast<size_t>(screen.progressY) * static_cast<size_t>(width) + static_cast<size_t>(x)] = ink;
    return px;
}

TBitmap TBookPreview::Bitmap(const std::vector<uint32_t>& pixels, int width, int height)
{
    TBitmap b(width, height, 24);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = b.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const uint32_t c = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            row[3 * x] = static_cast<uint8_t>(c);
            row[3 * x + 1] = static_cast<uint8_t>(c >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(c >> 16);
        }
    }
    return b;
}

} // namespace volm
