#include "storage/Fontrecord.h"

#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "common/Errors.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace volm {
namespace {

constexpr uint8_t kRecordMarker = 0xFF;
constexpr uint16_t kRecordType = 10;
constexpr uint16_t kRecordFlags = 0x1030;
constexpr size_t kMaxRecordName = 255;
constexpr int kMaxNesting = 32;

// The dialog's design position in the project window's layout.
constexpr int kFontDialogLeft = 56;
constexpr int kFontDialogTop = 8;

struct Ident {
    const char* name;
    int32_t value;
};

constexpr Ident kCharsets[] = {
    {"ANSI_CHARSET", ANSI_CHARSET},         {"DEFAULT_CHARSET", DEFAULT_CHARSET},
    {"SYMBOL_CHARSET", SYMBOL_CHARSET},     {"MAC_CHARSET", MAC_CHARSET},
    {"SHIFTJIS_CHARSET", SHIFTJIS_CHARSET}, {"HANGEUL_CHARSET", HANGEUL_CHARSET},
    {"JOHAB_CHARSET", JOHAB_CHARSET},       {"GB2312_CHARSET", GB2312_CHARSET},
    {"CHINESEBIG5_CHARSET", CHINESEBIG5_CHARSET}, {"GREEK_CHARSET", GREEK_CHARSET},
    {"TURKISH_CHARSET", TURKISH_CHARSET},   {"VIETNAMESE_CHARSET", VIETNAMESE_CHARSET},
    {"HEBREW_CHARSET", HEBREW_CHARSET},     {"ARABIC_CHARSET", ARABIC_CHARSET},
    {"BALTIC_CHARSET", BALTIC_CHARSET},     {"RUSSIAN_CHARSET", RUSSIAN_CHARSET},
    {"THAI_CHARSET", THAI_CHARSET},         {"EASTEUROPE_CHARSET", EASTEUROPE_CHARSET},
    {"OEM_CHARSET", OEM_CHARSET},
};

constexpr int32_t sys(int n) { return static_cast<int32_t>(0xFF000000u | unsigned(n)); }

constexpr Ident kColors[] = {
    {"clBlack", 0x000000},     {"clMaroon", 0x000080},   {"clGreen", 0x008000},
    {"clOlive", 0x008080},     {"clNavy", 0x800000},     {"clPurple", 0x800080},
    {"clTeal", 0x808000},      {"clGray", 0x808080},     {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},       {"clLime", 0x00FF00},     {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},      {"clFuchsia", 0xFF00FF},  {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},     {"clMoneyGreen", 0xC0DCC0}, {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},     {"clMedGray", 0xA4A0A0},
    {"clScrollBar", sys(0)},   {"clBackground", sys(1)}, {"clActiveCaption", sys(2)},
    {"clInactiveCaption", sys(3)}, {"clMenu", sys(4)},   {"clWindow", sys(5)},
    {"clWindowFrame", sys(6)}, {"clMenuText", sys(7)},   {"clWindowText", sys(8)},
    {"clCaptionText", sys(9)}, {"clActiveBorder", sys(10)}, {"clInactiveBorder", sys(11)},
    {"clAppWorkSpace", sys(12)}, {"clHighlight", sys(13)}, {"clHighlightText", sys(14)},
    {"clBtnFace", sys(15)},    {"clBtnShadow", sys(16)}, {"clGrayText", sys(17)},
    {"clBtnText", sys(18)},    {"clInactiveCaptionText", sys(19)}, {"clBtnHighlight", sys(20)},
    {"cl3DDkShadow", sys(21)}, {"cl3DLight", sys(22)},   {"clInfoText", sys(23)},
    {"clInfoBk", sys(24)},     {"clNone", 0x1FFFFFFF},   {"clDefault", 0x20000000},
};

constexpr std::array<const char*, 3> kPitches = {"fpDefault", "fpVariable", "fpFixed"};

struct StyleBit {
    const char* name;
    uint8_t bit;
};
constexpr StyleBit kStyles[] = {
    {"fsBold", fsBold}, {"fsItalic", fsItalic}, {"fsUnderline", fsUnderline}, {"fsStrikeOut", fsStrikeOut}};

// Identifiers of the component format compare without regard to case (sameText).
template <size_t N>
std::optional<int32_t> lookup(const Ident (&table)[N], std::string_view name)
{
    for (const Ident& i : table)
        if (sameText(i.name, name))
            return i.value;
    return std::nullopt;
}

template <size_t N>
std::optional<std::string> nameOf(const Ident (&table)[N], int32_t value)
{
    for (const Ident& i : table)
        if (i.value == value)
            return std::string(i.name);
    return std::nullopt;
}

void putLE(std::string& out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

// Reads an image from a byte buffer; every overrun raises.
class Reader {
public:
    explicit Reader(std::string_view bytes) : b_(bytes) {}
    uint8_t peek() const
    {
        need(1);
        return static_cast<uint8_t>(b_[pos_]);
    }
    uint8_t byte()
    {
        uint8_t v = peek();
        ++pos_;
        return v;
    }
    uint64_t le(int bytes)
    {
        need(bytes);
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v |= uint64_t(static_cast<uint8_t>(b_[pos_ + i])) << (8 * i);
        pos_ += bytes;
        return v;
    }
    std::string_view take(uint64_t n)
    {
        need(n);
        std::string_view v = b_.substr(pos_, static_cast<size_t>(n));
        pos_ += static_cast<size_t>(n);
        return v;
    }
    std::string shortString() { return std::string(take(byte())); }

    TPropValue value(int depth)
    {
        if (depth > kMaxNesting)
            throw Error("the font settings nest too deeply");
        TPropValue v;
        v.type = static_cast<TValueType>(byte());
        switch (v.type) {
        case vaNull: case vaNil: break;
        case vaFalse: v.boolean = false; break;
        case vaTrue: v.boolean = true; break;
        case vaInt8: v.integer = static_cast<int8_t>(le(1)); break;
        case vaInt16: v.integer = static_cast<int16_t>(le(2)); break;
        case vaInt32: v.integer = static_cast<int32_t>(le(4)); break;
        case vaInt64: v.integer = static_cast<int64_t>(le(8)); break;
        case vaExtended: take(10); break;
        case vaSingle: take(4); break;
        case vaCurrency: case vaDate: take(8); break;
        case vaString: case vaIdent: v.text = shortString(); break;
        case vaLString: v.text = std::string(take(le(4))); break;
        case vaBinary: take(le(4)); break;
        case vaWString: {
            uint64_t units = le(4);
            std::string_view raw = take(units * 2);
            std::u16string w(static_cast<size_t>(units), u'\0');
            for (size_t i = 0; i < w.size(); ++i)
                w[i] = static_cast<char16_t>(uint8_t(raw[2 * i]) | uint8_t(raw[2 * i + 1]) << 8);
            v.text = TAnsiWriter(TAnsiFallback::Question)(w);
            break;
        }
        case vaUTF8String:
            v.text = TAnsiWriter(TAnsiFallback::Question)(take(le(4)));
            break;
        case vaSet:
            for (std::string e = shortString(); !e.empty(); e = shortString())
                v.elements.push_back(e);
            break;
        case vaList:
            while (peek() != vaNull)
                value(depth + 1);
            byte();
            break;
        case vaCollection:
            while (peek() != vaNull) {
                uint8_t t = peek();
                if (t == vaInt8 || t == vaInt16 || t == vaInt32)
                    value(depth + 1); // the item's index
                if (byte() != vaList)
                    throw Error("a collection item of the font settings is malformed");
                properties(nullptr, depth + 1);
            }
            byte();
            break;
        default:
            throw Error("the font settings hold an unknown value type " + std::to_string(int(v.type)));
        }
        return v;
    }

    // Reads properties up to the zero byte that ends them.
    void properties(std::vector<TImageProperty>* out, int depth)
    {
        while (peek() != 0) {
            TImageProperty p;
            p.name = shortString();
            p.value = value(depth);
            if (out)
                out->push_back(std::move(p));
        }
        byte();
    }

private:
    void need(uint64_t n) const
    {
        if (n > b_.size() - pos_)
            throw Error("the font settings are cut short");
    }
    std::string_view b_;
    size_t pos_ = 0;
};

} // namespace

// --- writing ---------------------------------------------------------------

TImageWriter::TImageWriter(std::string_view className, std::string_view objectName)
{
    out_ = "TPF0";
    name(className);
    name(objectName);
}

void TImageWriter::name(std::string_view s)
{
    size_t n = std::min<size_t>(s.size(), 255);
    out_.push_back(static_cast<char>(n));
    out_.append(s.substr(0, n));
}

void TImageWriter::Integer(std::string_view prop, int64_t v)
{
    name(prop);
    if (v >= -128 && v <= 127) {
        out_.push_back(vaInt8);
        putLE(out_, static_cast<uint64_t>(v), 1);
    } else if (v >= -32768 && v <= 32767) {
        out_.push_back(vaInt16);
        putLE(out_, static_cast<uint64_t>(v), 2);
    } else if (v >= INT32_MIN && v <= INT32_MAX) {
        out_.push_back(vaInt32);
        putLE(out_, static_cast<uint64_t>(v), 4);
    } else {
        out_.push_back(vaInt64);
        putLE(out_, static_cast<uint64_t>(v), 8);
    }
}

void TImageWriter::String(std::string_view prop, std::string_view value)
{
    name(prop);
    if (value.size() <= 255) {
        out_.push_back(vaString);
        name(value);
    } else {
        out_.push_back(vaLString);
        putLE(out_, value.size(), 4);
        out_.append(value);
    }
}

void TImageWriter::Ident(std::string_view prop, std::string_view value)
{
    name(prop);
    out_.push_back(vaIdent);
    name(value);
}

void TImageWriter::Boolean(std::string_view prop, bool value)
{
    name(prop);
    out_.push_back(value ? vaTrue : vaFalse);
}

void TImageWriter::Set(std::string_view prop, const std::vector<std::string>& elements)
{
    name(prop);
    out_.push_back(vaSet);
    for (const std::string& e : elements)
        name(e);
    out_.push_back(0);
}

std::string TImageWriter::Finish()
{
    out_.push_back(0); // end of the properties
    out_.push_back(0); // end of the child objects (none)
    return std::move(out_);
}

void WriteComponentRecord(TStream& s, std::string_view name, const std::string& image)
{
    std::string header;
    header.push_back(static_cast<char>(kRecordMarker));
    putLE(header, kRecordType, 2);
    for (char c : name.substr(0, 63))
        header.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    header.push_back(0);
    putLE(header, kRecordFlags, 2);
    s.WriteBuffer(header.data(), header.size());
    uint64_t sizeAt = s.Position();
    const uint32_t zero = 0;
    s.WriteBuffer(&zero, 4);
    uint64_t start = s.Position();
    s.WriteBuffer(image.data(), image.size());
    uint64_t end = s.Position();
    std::string size;
    putLE(size, end - start, 4);
    s.SetPosition(sizeAt);
    s.WriteBuffer(size.data(), 4);
    s.SetPosition(end);
}

std::string FontDialogImage(const TFontChoice& f)
{
    TImageWriter w("TFontDialog", "FontDialog1");
    if (auto id = CharsetToIdent(f.charset))
        w.Ident("Font.Charset", *id);
    else
        w.Integer("Font.Charset", f.charset);
    if (auto id = ColorToIdent(f.color))
        w.Ident("Font.Color", *id);
    else
        w.Integer("Font.Color", f.color);
    w.Integer("Font.Height", f.height);
    w.String("Font.Name", f.name);
    if (f.pitch != fpDefault && f.pitch < kPitches.size())
        w.Ident("Font.Pitch", kPitches[f.pitch]);
    std::vector<std::string> style;
    for (const StyleBit& s : kStyles)
        if (f.style & s.bit)
            style.push_back(s.name);
    w.Set("Font.Style", style);
    w.Integer("MinFontSize", 0);
    w.Integer("MaxFontSize", 0);
    w.Set("Options", {"fdEffects", "fdFixedPitchOnly"});
    w.Integer("Left", kFontDialogLeft);
    w.Integer("Top", kFontDialogTop);
    return w.Finish();
}

std::string UseCustomFontImage(bool checked)
{
    TImageWriter w("TMenuItem", "Usecustomfont1");
    w.String("Caption", kUseCustomFontCaption);
    if (checked)
        w.Boolean("Checked", true);
    w.String("Hint", kUseCustomFontHint);
    return w.Finish();
}

void WriteFontSettings(TStream& s, const TFontSettings& settings)
{
    WriteComponentRecord(s, "FontDlg", FontDialogImage(settings.font));
    WriteComponentRecord(s, "Itm", UseCustomFontImage(settings.useCustomFont));
}

// --- reading ---------------------------------------------------------------

const TPropValue* TComponentImage::find(std::string_view prop) const
{
    for (const TImageProperty& p : properties)
        if (sameText(p.name, prop))
            return &p.value;
    return nullptr;
}

TComponentImage ParseComponentImage(std::string_view image)
{
    Reader r(image);
    if (r.take(4) != "TPF0")
        throw Error("the font settings are not a component image");
    TComponentImage c;
    // A flags prefix (0xF0 | flags) may precede the class name of an object.
    if ((r.peek() & 0xF0) == 0xF0) {
        uint8_t flags = r.byte();
        if (flags & 2) // the object's position among its siblings follows
            r.value(0);
    }
    c.className = r.shortString();
    c.objectName = r.shortString();
    r.properties(&c.properties, 0);
    // Child objects are not ours to apply.
    return c;
}

std::string ReadComponentRecord(TStream& s, std::string* recordName)
{
    uint8_t head[3];
    s.ReadBuffer(head, 3);
    if (head[0] != kRecordMarker || (head[1] | head[2] << 8) != kRecordType)
        throw Error("the font settings are not a component record");
    std::string name;
    for (;;) {
        char c;
        s.ReadBuffer(&c, 1);
        if (c == 0)
            break;
        if (name.size() >= kMaxRecordName)
            throw Error("the font settings' record name is too long");
        name.push_back(c);
    }
    uint8_t rest[6];
    s.ReadBuffer(rest, 6);
    int32_t size = static_cast<int32_t>(uint32_t(rest[2]) | uint32_t(rest[3]) << 8 |
                                        uint32_t(rest[4]) << 16 | uint32_t(rest[5]) << 24);
    uint64_t left = s.Size() - s.Position();
    if (size < 0 || uint64_t(size) > left)
        throw Error("the font settings' record size is wrong");
    std::string image(static_cast<size_t>(size), '\0');
    s.ReadBuffer(image.data(), image.size());
    if (recordName)
        *recordName = name;
    return image;
}

void ApplyFontDialogImage(const TComponentImage& image, TFontChoice& font)
{
    font.pitch = fpDefault; // left out of an image when it is the default
    for (const TImageProperty& p : image.properties) {
        const TPropValue& v = p.value;
        if (sameText(p.name, "Font.Name")) {
            if (v.isString())
                font.name = v.text;
        } else if (sameText(p.name, "Font.Height")) {
            if (v.isInteger() && v.integer >= INT32_MIN && v.integer <= INT32_MAX)
                font.height = static_cast<int32_t>(v.integer);
        } else if (sameText(p.name, "Font.Charset")) {
            if (v.type == vaIdent) {
                if (auto cs = CharsetFromIdent(v.text))
                    font.charset = *cs;
            } else if (v.isInteger() && v.integer >= 0 && v.integer <= 255) {
                font.charset = static_cast<uint8_t>(v.integer);
            }
        } else if (sameText(p.name, "Font.Color")) {
            if (v.type == vaIdent) {
                if (auto c = ColorFromIdent(v.text))
                    font.color = *c;
            } else if (v.isInteger() && v.integer >= INT32_MIN && v.integer <= UINT32_MAX) {
                font.color = static_cast<TColor>(static_cast<uint32_t>(v.integer));
            }
        } else if (sameText(p.name, "Font.Style")) {
            if (v.type == vaSet) {
                uint8_t style = 0;
                for (const std::string& e : v.elements)
                    for (const StyleBit& s : kStyles)
                        if (sameText(e, s.name))
                            style |= s.bit;
                font.style = style;
            }
        } else if (sameText(p.name, "Font.Pitch")) {
            if (v.type == vaIdent)
                for (size_t i = 0; i < kPitches.size(); ++i)
                    if (sameText(v.text, kPitches[i]))
                        font.pitch = static_cast<TFontPitch>(i);
        }
    }
}

void ApplyUseCustomFontImage(const TComponentImage& image, bool& checked)
{
    const TPropValue* v = image.find("Checked");
    checked = v && (v->type == vaTrue || v->type == vaFalse) ? v->boolean : false;
}

void ReadFontSettings(TStream& s, TFontSettings& settings)
{
    s.SetPosition(0);
    TComponentImage dialog = ParseComponentImage(ReadComponentRecord(s));
    TComponentImage item = ParseComponentImage(ReadComponentRecord(s));
    TFontSettings result = settings;
    ApplyFontDialogImage(dialog, result.font);
    ApplyUseCustomFontImage(item, result.useCustomFont);
    settings = result;
}

std::optional<uint8_t> CharsetFromIdent(std::string_view ident)
{
    if (auto v = lookup(kCharsets, ident))
        return static_cast<uint8_t>(*v);
    return std::nullopt;
}

std::optional<std::string> CharsetToIdent(uint8_t charset)
{
    return nameOf(kCharsets, charset);
}

std::optional<TColor> ColorFromIdent(std::string_view ident)
{
    return lookup(kColors, ident);
}

std::optional<std::string> ColorToIdent(TColor color)
{
    return nameOf(kColors, color);
}

} // namespace volm
