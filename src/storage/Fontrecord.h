#pragma once
// The project's font-settings stream "0": two component records, "FontDlg"
// (the font dialog's choice) and "Itm" (the "&Use custom font" menu option),
// each holding the object's state in the binary component-image format.
//
// Component record: 0xFF, resource type 10 (2 bytes), the name in upper case
// and a zero byte, flags 0x1030 (2 bytes), the image size (4 bytes, signed),
// the image. Image: "TPF0", class name and object name (length-prefixed),
// properties (name, then a typed value) up to a zero byte, child objects up to
// a zero byte.

#include "common/Stream.h"
#include "storage/Fontsettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

// Value types of the component-image format.
enum TValueType : uint8_t {
    vaNull = 0, vaList = 1, vaInt8 = 2, vaInt16 = 3, vaInt32 = 4, vaExtended = 5,
    vaString = 6, vaIdent = 7, vaFalse = 8, vaTrue = 9, vaBinary = 10, vaSet = 11,
    vaLString = 12, vaNil = 13, vaCollection = 14, vaSingle = 15, vaCurrency = 16,
    vaDate = 17, vaWString = 18, vaInt64 = 19, vaUTF8String = 20,
};

// Writes one object's image: "TPF0", names, properties.
class TImageWriter {
public:
    TImageWriter(std::string_view className, std::string_view objectName);
    void Integer(std::string_view prop, int64_t value); // smallest integer type that holds it
    void String(std::string_view prop, std::string_view value);
    void Ident(std::string_view prop, std::string_view value);
    void Boolean(std::string_view prop, bool value);
    void Set(std::string_view prop, const std::vector<std::string>& elements);
    // Ends the property list and the (empty) list of child objects.
    std::string Finish();

private:
    void name(std::string_view s);
    std::string out_;
};

// One property value as read: its type and whatever the reader can use.
struct TPropValue {
    TValueType type = vaNull;
    int64_t integer = 0;                  // integer types
    std::string text;                     // strings (as 8-bit Windows-1251) and identifiers
    std::vector<std::string> elements;    // sets
    bool boolean = false;                 // vaFalse/vaTrue
    bool isInteger() const { return type == vaInt8 || type == vaInt16 || type == vaInt32 || type == vaInt64; }
    bool isString() const { return type == vaString || type == vaLString || type == vaWString || type == vaUTF8String; }
};

struct TImageProperty {
    std::string name;
    TPropValue value;
};

// A parsed image: class and object names and the top-level properties
// (values of lists and collections are skipped, not kept).
struct TComponentImage {
    std::string className;
    std::string objectName;
    std::vector<TImageProperty> properties;
    const TPropValue* find(std::string_view prop) const;
};

// Parses an image; raises volm::Error when it is malformed or truncated.
TComponentImage ParseComponentImage(std::string_view image);

// Writes a record (header, image, the size patched in afterwards).
void WriteComponentRecord(TStream& s, std::string_view name, const std::string& image);
// Reads the record at the stream's position: checks the marker and type,
// skips name, flags and size, returns the image and its record name. Raises
// volm::Error on a malformed record.
std::string ReadComponentRecord(TStream& s, std::string* recordName = nullptr);

// The two images of the font-settings stream.
std::string FontDialogImage(const TFontChoice& font);
std::string UseCustomFontImage(bool checked);

// Applies the properties of a "FontDlg" image: Font.Name/Height/Charset/
// Color/Style/Pitch; the others are skipped. A stored image leaves Font.Pitch
// out when it is the default, so a missing Font.Pitch reads as fpDefault.
void ApplyFontDialogImage(const TComponentImage& image, TFontChoice& font);
// Applies an "Itm" image: Checked, false when absent.
void ApplyUseCustomFontImage(const TComponentImage& image, bool& checked);

// The whole stream "0": "FontDlg" then "Itm".
void WriteFontSettings(TStream& s, const TFontSettings& settings);
// Reads both records from the stream's beginning into `settings`; raises
// volm::Error when a record is malformed (settings then are unchanged).
void ReadFontSettings(TStream& s, TFontSettings& settings);

// Identifier tables.
std::optional<uint8_t> CharsetFromIdent(std::string_view ident);
std::optional<std::string> CharsetToIdent(uint8_t charset);
std::optional<TColor> ColorFromIdent(std::string_view ident);
std::optional<std::string> ColorToIdent(TColor color);

inline constexpr const char* kUseCustomFontCaption = "&Use custom font";
inline constexpr const char* kUseCustomFontHint = "Allows to put in JAVA package newly selected custom font.";

} // namespace volm
