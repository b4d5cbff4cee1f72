#include "book/Fontimage.h"

#include "common/Stream.h"

#include "common/Errors.h"
#include "image/Pngimage.h"

#include <QFont>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace volm {
namespace {

// A GUI application object for programs without one (volm-cli): Qt's font
// database needs it. It lives until the program ends.
void EnsureGuiApplication()
{
    static std::once_flag once;
    std::call_once(once, [] {
        if (QCoreApplication::instance())
            return;
        static int argc = 3;
        static char arg0[] = "volm", arg1[] = "-platform", arg2[] = "offscreen";
        static char* argv[] = {arg0, arg1, arg2, nullptr};
        // The offscreen platform's start-up remarks (no runtime folder and the
        // like) mean nothing to a program without windows.
        QtMessageHandler previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& msg) {
                if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg)
                    std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
            });
        new QGuiApplication(argc, argv); // kept: destroying it at exit gains nothing
        qInstallMessageHandler(previous);
    });
}

// Usual desktop values of the system colours, by index (red, green, blue).
constexpr uint32_t kSystemColors[] = {
    0xC8C8C8, 0x000000, 0x99B4D1, 0xBFCDDB, 0xF0F0F0, 0xFFFFFF, 0x646464, 0x000000, // 0-7
    0x000000, 0x000000, 0xB4B4B4, 0xF4F7FC, 0xABABAB, 0x3399FF, 0xFFFFFF, 0xF0F0F0, // 8-15
    0xA0A0A0, 0x6D6D6D, 0x000000, 0x434E54, 0xFFFFFF, 0x696969, 0xE3E3E3, 0x000000, // 16-23
    0xFFFFE1, 0x000000, 0x0066CC, 0xB9D1EA, 0xD7E4F2, 0x3399FF, 0xF0F0F0,           // 24-30
};

// Shift-JIS single bytes 0xA1-0xDF: half-width katakana U+FF61-U+FF9F.
char16_t ShiftJisCharacter(uint8_t b)
{
    if (b >= 0xA1 && b <= 0xDF)
        return static_cast<char16_t>(0xFF61 + (b - 0xA1));
    return kNoChar;
}

bool Antialiased(int cell)
{
    return cell >= 16;
}

} // namespace

std::optional<CodePage> CharsetCodePage(uint8_t charset)
{
    switch (charset) {
    case RUSSIAN_CHARSET:
    case DEFAULT_CHARSET: return CodePage::Cp1251;
    case ANSI_CHARSET: return CodePage::Cp1252;
    case EASTEUROPE_CHARSET: return CodePage::Cp1250;
    case OEM_CHARSET: return CodePage::Cp866;
    case GREEK_CHARSET: return CodePage::Cp1253;
    case TURKISH_CHARSET: return CodePage::Cp1254;
    case HEBREW_CHARSET: return CodePage::Cp1255;
    case ARABIC_CHARSET: return CodePage::Cp1256;
    case BALTIC_CHARSET: return CodePage::Cp1257;
    case VIETNAMESE_CHARSET: return CodePage::Cp1258;
    case THAI_CHARSET: return CodePage::Cp874;
    case MAC_CHARSET: return CodePage::MacRoman;
    case SYMBOL_CHARSET:
    case SHIFTJIS_CHARSET:
    case HANGEUL_CHARSET:
    case JOHAB_CHARSET:
    case GB2312_CHARSET:
    case CHINESEBIG5_CHARSET: return std::nullopt;
    default: return CodePage::Cp1251; // a set we do not know: the program's own code page
    }
}

char16_t FontImageCharacter(uint8_t charset, uint8_t b)
{
    if (b < 0x20 || b == 0x7F)
        return kNoChar;
    if (auto cp = CharsetCodePage(charset)) {
        char16_t c = toUnicode(*cp, b);
        return c < 0x20 ? kNoChar : c;
    }
    if (charset == SYMBOL_CHARSET)
        return (b >= 0x80 && b < 0xA0) ? kNoChar : static_cast<char16_t>(b);
    if (b < 0x80)
        return static_cast<char16_t>(b);
    return charset == SHIFTJIS_CHARSET ? ShiftJisCharacter(b) : kNoChar;
}

char16_t PhoneFontCharacter(uint8_t b)
{
    return FontImageCharacter(RUSSIAN_CHARSET, b);
}

int MissingCyrillicLetters(const TFontChoice& choice)
{
    const int cell = static_cast<int>(std::clamp<int64_t>(FontCellHeight(choice), 8, 64));
    const QRawFont raw = QRawFont::fromFont(FontImageFont(choice, cell));
    int missing = 0;
    for (int b = 0xC0; b <= 0xFF + 2; ++b) {
        // The 64 letters at 0xC0-0xFF, then Ё and ё.
        const uint8_t byte = b <= 0xFF ? static_cast<uint8_t>(b) : (b == 0x100 ? 0xA8 : 0xB8);
        const char16_t ch = PhoneFontCharacter(byte);
        if (!raw.isValid() || !raw.supportsCharacter(QChar(ch)))
            ++missing;
    }
    return missing;
}

TRGBQuad GlyphColor(TColor color)
{
    uint32_t c = static_cast<uint32_t>(color);
    uint32_t rgb;
    if ((c & 0xFF000000u) == 0xFF000000u) { // a system colour
        uint32_t index = c & 0xFF;
        rgb = index < std::size(kSystemColors) ? kSystemColors[index] : 0;
        return TRGBQuad{static_cast<uint8_t>(rgb), static_cast<uint8_t>(rgb >> 8),
                        static_cast<uint8_t>(rgb >> 16), 0};
    }
    if (c & 0xFF000000u) // clNone, clDefault and other special values
        return TRGBQuad{};
    return TRGBQuad{static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c), 0};
}

bool IsSystemColor(TColor color)
{
    return (static_cast<uint32_t>(color) & 0xFF000000u) != 0;
}

int64_t FontCellHeight(const TFontChoice& font)
{
    return font.height < 0 ? -static_cast<int64_t>(font.height) : font.height;
}

int FontCellSize(const TFontChoice& font)
{
    const int64_t h = FontCellHeight(font);
    if (h == 0)
        throw Error("The font \"" + cp1251ToUtf8(font.name) + "\" has no height; choose a size for the font image");
    if (h > kMaxFontCell)
        throw Error("The font \"" + cp1251ToUtf8(font.name) + "\" is too large for the font image: " +
                    std::to_string(h) + " pixels, at most " + std::to_string(kMaxFontCell));
    return static_cast<int>(h);
}

QFont ChoiceFont(const TFontChoice& choice, int pixelSize)
{
    QFont f(QString::fromStdString(cp1251ToUtf8(choice.name)));
    f.setPixelSize(std::max(1, pixelSize));
    f.setBold(choice.style & fsBold);
    f.setItalic(choice.style & fsItalic);
    f.setUnderline(choice.style & fsUnderline);
    f.setStrikeOut(choice.style & fsStrikeOut);
    if (choice.pitch == fpFixed)
        f.setStyleHint(QFont::TypeWriter);
    f.setFixedPitch(choice.pitch == fpFixed);
    return f;
}

QFont FontImageFont(const TFontChoice& choice, int cell)
{
    return FontImageFont(choice, cell, Antialiased(cell));
}

QFont FontImageFont(const TFontChoice& choice, int cell, bool antialias)
{
    EnsureGuiApplication();
    auto imageFont = [&](int px) {
        QFont f = ChoiceFont(choice, px);
        f.setHintingPreference(QFont::PreferFullHinting);
        int strategy = QFont::NoFontMerging;
        if (!antialias)
            strategy |= QFont::NoAntialias;
        f.setStyleStrategy(static_cast<QFont::StyleStrategy>(strategy));
        return f;
    };
    // The largest pixel size whose ascent plus descent fits the cell.
    for (int px = cell; px > 1; --px) {
        QFont f = imageFont(px);
        const QFontMetrics fm(f);
        if (fm.ascent() + fm.descent() <= cell)
            return f;
    }
    return imageFont(1);
}

TBitmap RenderFontImage(const TFontChoice& choice)
{
    const int cell = FontCellSize(choice);
    const bool antialias = Antialiased(cell);
    const QFont font = FontImageFont(choice, cell);
    const QFontMetrics metrics(font);
    const QRawFont raw = QRawFont::fromFont(font);
    const int ascent = metrics.ascent();
    const TRGBQuad rgb = GlyphColor(choice.color);
    const QColor ink(rgb.red, rgb.green, rgb.blue);

    const int side = 16 * cell;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, antialias);
        painter.setRenderHint(QPainter::TextAntialiasing, antialias);
        painter.setPen(ink);
        painter.setBrush(ink);
        painter.setFont(font);
        for (int b = 0; b < 256; ++b) {
            const int x = cell * (b % 16), y = cell * (b / 16);
            painter.setClipRect(x, y, cell, cell);
            const QPointF baseline(x, y + ascent);

            char16_t ch = PhoneFontCharacter(static_cast<uint8_t>(b));
            quint32 glyph = 0; // the font's missing-glyph box
            if (ch != kNoChar && raw.isValid()) {
                QChar qc(ch);
                quint32 index = 0;
                int count = 1;
                if (raw.glyphIndexesForChars(&qc, 1, &index, &count) && count == 1)
                    glyph = index;
            }
            if (!raw.isValid()) { // no font file behind the font: plain text output
                if (ch != kNoChar)
                    painter.drawText(baseline, QString(QChar(ch)));
                continue;
            }
            QGlyphRun run;
            run.setRawFont(raw);
            run.setGlyphIndexes({glyph});
            run.setPositions({QPointF(0, 0)});
            run.setUnderline(font.underline());
            run.setStrikeOut(font.strikeOut());
            if (glyph == 0 && raw.pathForGlyph(0).isEmpty()) {
                // The font draws nothing for missing glyphs: a box of our own,
                // as wide as a character and as high as a capital.
                const qreal w = std::max<qreal>(3, metrics.averageCharWidth());
                const qreal top = y + std::max(0, ascent - metrics.capHeight());
                painter.setBrush(Qt::NoBrush);
                painter.drawRect(QRectF(x + 1, top, std::max<qreal>(2, w - 3), ascent - (top - y) - 1));
                painter.setBrush(ink);
                continue;
            }
            painter.drawGlyphRun(baseline, run);
        }
    }

    TBitmap bitmap(side, side, 24);
    for (int row = 0; row < side; ++row) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(row));
        uint8_t* dst = bitmap.scanLine(row);
        for (int col = 0; col < side; ++col) {
            dst[3 * col] = static_cast<uint8_t>(qBlue(src[col]));
            dst[3 * col + 1] = static_cast<uint8_t>(qGreen(src[col]));
            dst[3 * col + 2] = static_cast<uint8_t>(qRed(src[col]));
        }
    }
    return bitmap;
}

std::string FontImagePng(const TFontChoice& font)
{
    TPNGObject png;
    png.Assign(RenderFontImage(font));
    TMemoryStream out;
    png.SaveToStream(out);
    return out.Data();
}

void SaveFontImage(const TFontChoice& font, const std::string& pngPath)
{
    TPNGObject png;
    png.Assign(RenderFontImage(font));
    png.SaveToFile(pngPath);
}

TFontSheetImage RenderFontSheetImage(const TFontChoice& choice, int lineHeight, const TUsedBytes& used)
{
    if (lineHeight < 1 || lineHeight > 255)
        throw Error("The font \"" + cp1251ToUtf8(choice.name) + "\" cannot be drawn " + std::to_string(lineHeight) +
                    " pixels high: the sizes are 1 to 255 pixels");
    // Greys at every size: without them small glyphs of like shapes ("З"
    // and "3" of DejaVu Sans at 11 pixels) come out the same.
    const bool antialias = true;
    const QFont font = FontImageFont(choice, lineHeight, antialias);
    const QFontMetrics metrics(font);
    const int ascent = metrics.ascent();

    // The rectangles, row by row.
    TFontSheetImage sheet;
    sheet.lineHeight = lineHeight;
    int x = 0, row = 0, widest = 0;
    std::array<char16_t, 256> chars{};
    for (int b = 0; b < 256; ++b) {
        if (!used[b] || IsSheetControl(static_cast<uint8_t>(b)))
            continue;
        char16_t ch = PhoneFontCharacter(static_cast<uint8_t>(b));
        if (ch == kNoChar)
            continue;
        chars[b] = ch;
        const int advance = std::max(1, metrics.horizontalAdvance(QChar(ch)));
        if (advance > kSheetRowWidth)
            throw Error("The font \"" + cp1251ToUtf8(choice.name) + "\" at " + std::to_string(lineHeight) +
                        " pixels has a glyph " + std::to_string(advance) + " pixels wide, wider than a row of " +
                        std::to_string(kSheetRowWidth) + "; choose smaller sizes");
        if (x + advance > kSheetRowWidth) {
            x = 0;
            ++row;
        }
        if (row > 255)
            throw Error("The font \"" + cp1251ToUtf8(choice.name) + "\" at " + std::to_string(lineHeight) +
                        " pixels needs more than 256 rows");
        sheet.glyphs[b] = TGlyphRect{static_cast<uint16_t>(x), static_cast<uint8_t>(row),
                                     static_cast<uint8_t>(advance)};
        x += advance;
        widest = std::max(widest, x);
    }
    const int width = std::max(1, widest);
    const int height = (row + 1) * lineHeight;

    // Drawn in black on white, then the greys become palette entries.
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, antialias);
        painter.setRenderHint(QPainter::TextAntialiasing, antialias);
        painter.setPen(Qt::black);
        painter.setFont(font);
        for (int b = 0; b < 256; ++b) {
            const TGlyphRect& g = sheet.glyphs[b];
            if (g.advance == 0)
                continue;
            const int top = g.row * lineHeight;
            painter.setClipRect(g.x, top, g.advance, lineHeight);
            painter.drawText(QPointF(g.x, top + ascent), QString(QChar(chars[b])));
        }
    }

    const int shades = antialias ? 16 : 2;
    const int bpp = antialias ? 4 : 1;
    sheet.bitmap = TBitmap(width, height, bpp);
    const TRGBQuad ink = GlyphColor(choice.color);
    for (int i = 0; i < shades; ++i) {
        auto mix = [&](uint8_t c) { return static_cast<uint8_t>((255 * (shades - 1 - i) + c * i) / (shades - 1)); };
        sheet.bitmap.colors[i] = TRGBQuad{mix(ink.blue), mix(ink.green), mix(ink.red), 0};
    }
    for (int y = 0; y < height; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint8_t* dst = sheet.bitmap.scanLine(y);
        for (int col = 0; col < width; ++col) {
            const int dark = 255 - qGray(src[col]);
            const int index = (dark * (shades - 1) + 127) / 255;
            if (bpp == 1)
                dst[col / 8] |= static_cast<uint8_t>(index << (7 - col % 8));
            else
                dst[col / 2] |= static_cast<uint8_t>(index << (col % 2 ? 0 : 4));
        }
    }
    return sheet;
}

TFontSheet RenderFontSheet(const TFontChoice& choice, int lineHeight, const TUsedBytes& used)
{
    const TFontSheetImage image = RenderFontSheetImage(choice, lineHeight, used);
    TPNGObject png;
    png.Filters = {pfNone};
    png.CompressionLevel = 9;
    png.Assign(image.bitmap);
    TMemoryStream out;
    png.SaveToStream(out);
    TFontSheet sheet;
    sheet.lineHeight = lineHeight;
    sheet.width = image.bitmap.width;
    sheet.height = image.bitmap.height;
    sheet.png = out.Data();
    sheet.map = FontMapBytes(lineHeight, image.glyphs);
    return sheet;
}

} // namespace volm
