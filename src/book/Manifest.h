#pragma once
// The book's name and folder, and the manifest lines of the phone application:
// saved as the jar's META-INF/MANIFEST.MF, as manifest.mf beside the jar and,
// with two more lines, as the descriptor (jad).

#include "common/Fileio.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

// The project file's name without its folder and its final extension
// ("/books/Tales.volm" gives "Tales", "my.volm.book.volm" gives "my.volm.book";
// a name without extension stays as it is). Raises volm::Error when that
// leaves no name (".volm", or a path ending in "/").
std::string BookName(std::string_view projectPath);

// The folder of the project file, ending in "/" ("" for a bare file name).
std::string ProjectFolder(std::string_view projectPath);

// The book folder: project folder + book name + "/"; with `outFolder` (the
// folder the user chose to build in), that folder + "/" + book name + "/".
std::string BookFolder(std::string_view projectPath, std::string_view outFolder = {});

// Every attribute value the manifest and the jad carry is one line: a value
// with a line end would add attributes of its sender's choosing (a second
// MIDlet-Jar-URL, permissions). The first control character of `text` (a
// byte under 0x20, or 0x7F), or none.
std::optional<char> ControlCharacter(std::string_view text);

// Raises volm::Error when `text` holds a control character: "<field> holds a
// line end" for CR and LF, "<field> holds a control character (0xNN)" for the
// rest, and why neither can be written. `field` is the field as the user
// knows it ("the vendor", "--url").
void CheckOneLine(std::string_view text, const std::string& field);

// Raises volm::Error, naming `field`, unless `url` (blanks at its ends
// aside) is an absolute http or https URL: the scheme, "://", a host, and no
// blank or control character. An empty (or blank) one is none, and passes.
void CheckInfoUrl(std::string_view url, const std::string& field);

// The most bytes of a MIDlet-Name (phones show and compare no more) and of a
// MIDlet-Description (phones show it in the install dialog; longer ones are
// refused by some).
inline constexpr size_t kMidletNameMax = 32;
inline constexpr size_t kDescriptionMax = 128;

// `text` cut to at most `maxBytes` bytes at a character boundary: UTF-8 text
// is cut before a character's first byte, other text (Windows-1251, a byte a
// character) anywhere.
std::string CutAtCharacter(std::string_view text, size_t maxBytes);

// The MIDlet-Version of a book's n-th build (from 1): "1.0.n", each of the
// three parts at most 99, rolling over into the part before it ("1.0.99" is
// followed by "1.1.0", "1.99.99" by "2.0.0"); past "99.99.99" it stays there.
std::string MidletVersion(uint64_t build);

// The values of a jar's manifest.
struct TManifestFields {
    std::string name;          // MIDlet-Name, cut to kMidletNameMax bytes here
    std::string url;           // MIDlet-Info-URL
    std::string vendor;        // MIDlet-Vendor
    std::string description;   // MIDlet-Description (cut to kDescriptionMax); "" writes none
    std::string version = MidletVersion(1);
};

// The manifest lines, values as they stand, except that the name is cut (see
// above) and in the "MIDlet-1: " line commas of the name become blanks (a
// comma separates that line's values on the phone). Raises volm::Error,
// naming the attribute, when a value holds a control character: nothing is
// ever written from it.
std::vector<std::string> ManifestLines(const TManifestFields& fields);
std::vector<std::string> ManifestLines(std::string_view bookName, std::string_view url, std::string_view vendor);

// The jar's file name without ".jar", as phones and their browsers take it:
// the book name transliterated to Latin letters (ICU's "Any-Latin;
// Latin-ASCII"), keeping letters, digits, '-' and '_', blanks becoming '_',
// cut to kFileStemMax characters; "book" when nothing is left.
inline constexpr size_t kFileStemMax = 24;
std::string JarFileStem(std::string_view bookName);

// `text` percent-encoded for a URL: every byte but the letters, digits and
// "-._~" as %XX.
std::string PercentEncoded(std::string_view text);

// The descriptor: the manifest lines followed by the jar's URL (the file
// name `jarFile`, percent-encoded) and its size.
std::vector<std::string> DescriptorLines(const std::vector<std::string>& manifest,
                                         std::string_view jarFile, uint64_t jarSize);

// The saved form of a list of lines: each followed by CR LF, the last too.
std::string LinesText(const std::vector<std::string>& lines);

// Saves the lines to `path` (created or replaced) through the safe-write path
// (WriteFileSafely). Raises volm::Error naming the file and the cause.
void SaveLines(const std::string& path, const std::vector<std::string>& lines,
               const TSafeWriteOptions& options = {});

} // namespace volm
