#pragma once
// The text of a book file on its way into topics.
//
// Reading: a document's bytes become well-formed UTF-8 for the parsers. The
// encoding is the one the document names (byte-order mark, XML declaration,
// HTML meta charset) when it is one we have tables for, else the verdict of
// code-page detection (Detect.h: UTF-16, UTF-8 or one of five Cyrillic
// single-byte pages), or Windows-1251 when detection is off. Bytes that are no
// character of the encoding become U+FFFD and are counted.
//
// Writing: UTF-8 text becomes Windows-1251 through the writer of texts
// (Ansiwriter.h: the nearest text of a character Windows-1251 lacks, else
// "?", counted). Control characters other than tab and line breaks and the
// soft hyphen are dropped, and the non-breaking space becomes a space: the
// phone breaks rows at spaces and shows every byte it is given.

#include "common/Ansiwriter.h"
#include "text/Bookimport.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace volm {

// How a document's bytes were read.
struct TSourceText {
    // The text: well-formed UTF-8 without a byte-order mark. When the
    // document's bytes are that already, they are not copied: the text is
    // then a view of the caller's bytes, valid as long as they are.
    std::string_view Text() const { return borrowed.data() ? borrowed : std::string_view(utf8); }
    std::string utf8;           // the text when it had to be converted
    std::string_view borrowed;  // the text when it is the caller's bytes
    std::string encoding;   // "UTF-8", "UTF-16LE", "KOI8-R", "Windows-1251", ...
    bool declared = false;  // the document names its encoding
    size_t invalid = 0;     // bytes (UTF-16 units) that were no character, read as U+FFFD
    std::string note;       // set when a named encoding was not used, and why
};

// The encoding a document names at its start: a byte-order mark, the XML
// declaration's encoding, or (for HTML) a meta charset in its first 8 KB.
// "" when it names none.
std::string DeclaredEncoding(std::string_view bytes, bool html);

// The document's bytes as UTF-8 (see above): a view of `bytes` when they are
// UTF-8 already (keep them alive while the text is used). With `detect` off,
// a document that names no encoding is read as Windows-1251.
TSourceText DecodeSource(std::string_view bytes, bool html, bool detect);

// A book's document read as DecodeSource does, with options.detect; the
// encoding goes into `book`, and the note (after `fileName`) into its notes
// when there is one.
TSourceText DecodeBookSource(TBook& book, std::string_view bytes, bool html, const std::string& fileName,
                             const TBookOptions& options);

// A book's UTF-8 text into Windows-1251 (see above), counting over every
// text it writes what Windows-1251 had no place for.
class TBookTextWriter {
public:
    std::string operator()(std::string_view utf8);
    const TAnsiCount& Count() const { return writer_.count; }

private:
    TAnsiWriter writer_{TAnsiFallback::Nearest};
};

// Runs of blanks (space, tab, line breaks) as one space, none at either end.
std::string CollapseBlanks(std::string_view text);

// `text` cut to at most `bytes` bytes, without blanks at the cut.
std::string CutText(std::string_view text, size_t bytes);

} // namespace volm
