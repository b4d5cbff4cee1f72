#pragma once
// A book's pages as its phone will show them, without a build: what a build
// of the project would give the reader (the layout, the texts with their
// soft hyphens, the font sizes and their images, the topic names and the
// sizes of the texts), laid out by the reader's own rules (Readerpage.h)
// and drawn with the font images' glyphs as the reader draws them.

#include "book/Fontsheet.h"
#include "book/Pipeline.h"
#include "book/Readerpage.h"
#include "image/Bitmap.h"
#include "image/Pngread.h"
#include "storage/Project.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace volm {

class THyphenator;

// One font size as the reader holds it: its measures, its glyphs' places
// and the decoded image, with the palette of the day and of night reading.
struct TPreviewFont {
    TReaderMetrics metrics;
    TGlyphRects glyphs{};
    TPngPixels image;
    std::vector<uint32_t> day, night;   // palettes (empty for an image without one)
    uint32_t dayPaper = 0xFFFFFF, nightPaper = 0xFFFFFF;
};

// Draws a screen of the reader with a font as the reader does: the paper,
// each glyph's rectangle of the image (clipped to it and to the screen),
// the progress line in the ink (the paper's opposite). Night reading (a
// font with a palette) draws through the inverted palette. 0xRRGGBB a
// pixel, rows top-down.
std::vector<uint32_t> DrawScreen(const TReaderScreen& screen, const TPreviewFont& font, bool night, int width,
                                 int height);

// A topic's text as the jar will carry it (soft hyphens put in, CRs out,
// heading marks dropped for the grid layout), made line by line and kept by
// line, so that after a keystroke only the line typed in is made again.
class TPhoneTexts {
public:
    TPhoneTexts(const THyphenator* hyphenator, bool dropMarks) : hyphenator_(hyphenator), dropMarks_(dropMarks) {}
    std::string Text(std::string_view text);

private:
    const THyphenator* hyphenator_;
    bool dropMarks_;
    std::unordered_map<std::string, std::string> lines_;
};

// The request a build of the project makes, as far as the reader sees it:
// layout, paragraphs, font sizes, hyphens, custom font, title and jar budget.
TBuildRequest PreviewRequest(const TProject& project, const std::string& projectPath, uint64_t maxJar);

class TBookPreview {
public:
    // Reads the project's topics and renders its fonts as a build would
    // (`sheets` for the words layout, `cells` for a custom grid font; either
    // may be empty, as in a program without the font renderer).
    // `maxJar` is the jar budget the build would have (0: none).
    TBookPreview(const TProject& project, const std::string& projectPath, const TFontSheetRenderer& sheets,
                 const TFontRenderer& cells, uint64_t maxJar = 0);
    ~TBookPreview();

    bool Words() const { return words_; }
    size_t Topics() const { return names_.size(); }
    size_t Fonts() const { return fonts_.size(); }
    // The line height of font k (from 0, smallest first).
    int FontSize(size_t k) const { return fonts_.at(k).metrics.line; }
    // The size the reader opens with on a screen this wide: the largest that
    // gives a row of 20 figures (else the smallest).
    size_t DefaultFont(int width) const;
    // The warnings the build would give about the font.
    const std::vector<std::string>& FontWarnings() const { return warnings_; }

    // A topic's text (as the project holds it) as the jar will carry it.
    std::string PhoneText(const std::string& text) const { return texts_->Text(text); }
    // Where byte `offset` of a project text is in its phone text.
    static int PhoneOffset(const std::string& text, const std::string& phone, size_t offset);
    // A text typed into topic `topic`, for the book's percentages; true when
    // it holds bytes the fonts have no glyphs for (call Refresh()).
    bool SetText(size_t topic, const std::string& phoneText, const std::string& text);
    // Renders the fonts again with the glyphs of every text set.
    void Refresh();

    // The reader's screen of a topic with the given phone text.
    TReaderPage Page(size_t topic, const std::string& phoneText, size_t font, int width, int height) const;
    // The screen drawn: 0xRRGGBB a pixel, rows top-down.
    std::vector<uint32_t> Pixels(const TReaderScreen& screen, size_t font, bool night, int width,
                                 int height) const;
    static TBitmap Bitmap(const std::vector<uint32_t>& pixels, int width, int height);

private:
    void loadFonts();

    TBuildRequest request_;
    TFontSheetRenderer sheets_;
    TFontRenderer cells_;
    std::unique_ptr<THyphenator> hyphenator_;
    std::unique_ptr<TPhoneTexts> texts_;
    bool words_ = false;
    std::vector<std::string> names_;
    std::vector<uint64_t> sizes_;
    TUsedBytes used_{};
    std::string note_;
    std::vector<TPreviewFont> fonts_;
    std::vector<std::string> warnings_;
};

} // namespace volm
