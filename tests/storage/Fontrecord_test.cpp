#include "storage/Fontrecord.h"

#include "common/Errors.h"

#include <gtest/gtest.h>

using namespace volm;

namespace {

std::string ps(std::string_view s) // length-prefixed
{
    return std::string(1, static_cast<char>(s.size())) + std::string(s);
}

std::string le32(uint32_t v)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>(v >> (8 * i)));
    return s;
}

std::string record(std::string_view upperName, const std::string& image)
{
    return std::string("\xFF\x0A\x00", 3) + std::string(upperName) + std::string("\0\x30\x10", 3) +
           le32(static_cast<uint32_t>(image.size())) + image;
}

std::string image(std::string_view cls, std::string_view obj, const std::string& props)
{
    return "TPF0" + ps(cls) + ps(obj) + props + std::string("\0\0", 2);
}

TFontSettings readBack(const std::string& bytes, TFontSettings start = {})
{
    TMemoryStream s(bytes);
    ReadFontSettings(s, start);
    return start;
}

} // namespace

TEST(Fontrecord, WritesTheExactLayout)
{
    TFontSettings fs;
    fs.font.name = "Arial";
    fs.font.height = -13;
    fs.font.charset = RUSSIAN_CHARSET;
    fs.font.color = clWindowText;
    fs.font.style = fsBold | fsStrikeOut;
    fs.font.pitch = fpDefault;
    fs.useCustomFont = true;

    std::string dlg = image("TFontDialog", "FontDialog1",
                            ps("Font.Charset") + "\x07" + ps("RUSSIAN_CHARSET") +
                                ps("Font.Color") + "\x07" + ps("clWindowText") +
                                ps("Font.Height") + "\x02\xF3" +
                                ps("Font.Name") + "\x06" + ps("Arial") +
                                ps("Font.Style") + "\x0B" + ps("fsBold") + ps("fsStrikeOut") + std::string(1, '\0') +
                                ps("MinFontSize") + std::string("\x02\x00", 2) +
                                ps("MaxFontSize") + std::string("\x02\x00", 2) +
                                ps("Options") + "\x0B" + ps("fdEffects") + ps("fdFixedPitchOnly") + std::string(1, '\0') +
                                ps("Left") + "\x02\x38" + ps("Top") + "\x02\x08");
    std::string itm = image("TMenuItem", "Usecustomfont1",
                            ps("Caption") + "\x06" + ps("&Use custom font") + ps("Checked") + "\x09" +
                                ps("Hint") + "\x06" + ps("Allows to put in JAVA package newly selected custom font."));
    TMemoryStream s;
    WriteFontSettings(s, fs);
    EXPECT_EQ(s.Data(), record("FONTDLG", dlg) + record("ITM", itm));
    EXPECT_EQ(readBack(s.Data()), fs);
}

TEST(Fontrecord, UncheckedOptionLeavesCheckedOutAndPitchIsWrittenWhenNotDefault)
{
    std::string itm = UseCustomFontImage(false);
    EXPECT_EQ(itm.find("Checked"), std::string::npos);
    EXPECT_NE(itm.find(ps("Caption") + "\x06" + ps("&Use custom font") + ps("Hint")), std::string::npos);

    TFontChoice f;
    f.pitch = fpFixed;
    EXPECT_NE(FontDialogImage(f).find(ps("Font.Pitch") + "\x07" + ps("fpFixed") + ps("Font.Style")),
              std::string::npos);
}

TEST(Fontrecord, RoundTripsEveryKindOfChoice)
{
    for (TFontPitch pitch : {fpDefault, fpVariable, fpFixed})
        for (bool custom : {false, true}) {
            TFontSettings fs;
            fs.font.name = std::string("\xCA\xF3\xF0\xFC\xE5\xF0", 6); // Cyrillic, Windows-1251
            fs.font.height = custom ? 40000 : -8;                        // 16- and 8-bit integers
            fs.font.style = fsItalic | fsUnderline;
            fs.font.color = custom ? 0x123456 : clBlack;                 // integer and identifier
            fs.font.charset = custom ? 99 : OEM_CHARSET;                 // unnamed and named
            fs.font.pitch = pitch;
            fs.useCustomFont = custom;
            TMemoryStream s;
            WriteFontSettings(s, fs);
            // Start from something different so every value must come from the stream.
            TFontSettings start;
            start.font = {"x", 1, fsBold, 7, 0, fpVariable};
            start.useCustomFont = !custom;
            EXPECT_EQ(readBack(s.Data(), start), fs) << int(pitch) << custom;
        }
    TFontSettings longName;
    longName.font.name = std::string(300, 'N'); // needs the 4-byte-length string
    TMemoryStream s;
    WriteFontSettings(s, longName);
    EXPECT_EQ(readBack(s.Data()).font.name, longName.font.name);
}

// A record written by a later version with properties of every value type:
// the known ones are applied, the others skipped.
TEST(Fontrecord, ReaderSkipsUnknownPropertiesOfEveryValueType)
{
    std::string extra =
        ps("P0") + std::string(1, '\0') +
        ps("P1") + "\x01" + "\x02\x05" + "\x06" + ps("in list") + std::string("\x01\x09\x00", 3) + std::string(1, '\0') +
        ps("P2") + "\x02\x7F" + ps("P3") + "\x03\x34\x12" + ps("P4") + std::string("\x04\x01\x00\x00\x80", 5) +
        ps("P5") + "\x05" + std::string(10, '\x3F') +
        ps("P6") + "\x06" + ps("text") + ps("P7") + "\x07" + ps("SomeIdent") +
        ps("P8") + "\x08" + ps("P9") + "\x09" +
        ps("P10") + "\x0A" + le32(3) + std::string("\0\1\2", 3) +
        ps("P11") + "\x0B" + ps("a") + ps("b") + std::string(1, '\0') +
        ps("P12") + "\x0C" + le32(2) + "ab" + ps("P13") + "\x0D" +
        // a collection of two items, the second with an index
        ps("P14") + "\x0E" + "\x01" + ps("Width") + "\x02\x10" + std::string(1, '\0') +
        "\x02\x01" + "\x01" + ps("Caption") + "\x06" + ps("c") + std::string(1, '\0') + std::string(1, '\0') +
        ps("P15") + "\x0F" + std::string(4, '\x01') + ps("P16") + "\x10" + std::string(8, '\x02') +
        ps("P17") + "\x11" + std::string(8, '\x03') +
        ps("P18") + "\x12" + le32(2) + std::string("A\0B\0", 4) +
        ps("P19") + "\x13" + std::string(8, '\x04') +
        ps("P20") + "\x14" + le32(3) + "xyz";
    // Known values in other encodings than the writer's: wide name, 32-bit
    // height, integer charset and colour, upper-case identifiers.
    std::string wideName = std::string("\x1A\x04\x43\x04", 4); // "Ку" in UTF-16LE
    std::string dlg = image("TFontDialog", "FontDialog1",
                            extra + ps("Font.Name") + "\x12" + le32(2) + wideName +
                                ps("Font.Height") + std::string("\x04\x60\x79\xFE\xFF", 5) +
                                ps("Font.Charset") + "\x02\x01" +
                                ps("Font.Color") + std::string("\x04\xFF\x00\x00\x00", 5) +
                                ps("Font.Style") + "\x0B" + ps("FSITALIC") + ps("fsUnknown") + std::string(1, '\0') +
                                ps("Font.Pitch") + "\x07" + ps("fpVariable") + extra);
    std::string itm = image("TMenuItem", "Usecustomfont1", extra + ps("Checked") + "\x09" + extra);
    TFontSettings fs = readBack(record("FONTDLG", dlg) + record("ITM", itm));
    EXPECT_EQ(fs.font.name, "\xCA\xF3");
    EXPECT_EQ(fs.font.height, -100000);
    EXPECT_EQ(fs.font.charset, DEFAULT_CHARSET);
    EXPECT_EQ(fs.font.color, 0xFF);
    EXPECT_EQ(fs.font.style, fsItalic);
    EXPECT_EQ(fs.font.pitch, fpVariable);
    EXPECT_TRUE(fs.useCustomFont);

    // UTF-8 name, and properties that are absent stay as they were.
    dlg = image("TFontDialog", "FontDialog1", ps("Font.Name") + "\x14" + le32(4) + "\xD0\x9A\xD1\x83");
    TFontSettings start;
    start.font.height = -20;
    start.useCustomFont = true;
    fs = readBack(record("FONTDLG", dlg) + record("ITM", image("TMenuItem", "Usecustomfont1", "")), start);
    EXPECT_EQ(fs.font.name, "\xCA\xF3");
    EXPECT_EQ(fs.font.height, -20);
    EXPECT_EQ(fs.font.pitch, fpDefault); // a stored image leaves the default pitch out
    EXPECT_FALSE(fs.useCustomFont);      // and an unchecked option's Checked
}

TEST(Fontrecord, MalformedRecordsRaiseAndChangeNothing)
{
    TMemoryStream good;
    WriteFontSettings(good, TFontSettings{});
    const std::string g = good.Data();
    std::vector<std::string> bad = {
        "",
        g.substr(0, g.size() - 1),                         // cut short
        "\xFE" + g.substr(1),                              // marker
        g.substr(0, 1) + "\x0B" + g.substr(2),             // resource type
        g.substr(0, 12) + le32(0x7FFFFFF0) + g.substr(16), // size past the end
        g.substr(0, 12) + le32(0xFFFFFFFF) + g.substr(16), // negative size
        g.substr(0, 16) + "TPF1" + g.substr(20),           // signature
        record("FONTDLG", image("TFontDialog", "FontDialog1", ps("X") + "\x15")) + g, // unknown type 21
        record("FONTDLG", image("TFontDialog", "FontDialog1", ps("X") + "\x0A" + le32(1000))) + g,
        record("FONTDLG", "TPF0" + ps("TFontDialog") + ps("FontDialog1") + ps("X") + std::string(200, '\x01')) + g,
    };
    for (size_t i = 0; i < bad.size(); ++i) {
        TFontSettings start;
        start.font.name = "Keep";
        TMemoryStream s(bad[i]);
        EXPECT_THROW(ReadFontSettings(s, start), Error) << i;
        EXPECT_EQ(start.font.name, "Keep") << i;
    }
}

TEST(Fontrecord, Identifiers)
{
    EXPECT_EQ(CharsetFromIdent("RUSSIAN_CHARSET"), RUSSIAN_CHARSET);
    EXPECT_EQ(CharsetFromIdent("ANSI_CHARSET"), ANSI_CHARSET);
    EXPECT_EQ(CharsetToIdent(OEM_CHARSET), "OEM_CHARSET");
    EXPECT_FALSE(CharsetFromIdent("KLINGON_CHARSET"));
    EXPECT_EQ(ColorFromIdent("clWindowText"), clWindowText);
    EXPECT_EQ(ColorFromIdent("clRed"), 0x0000FF);
    EXPECT_EQ(ColorToIdent(0xFFFFFF), "clWhite");
    EXPECT_FALSE(ColorToIdent(0x123456));
}
