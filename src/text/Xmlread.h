#pragma once
// libxml2 under the rules every book document is read with.
//
// XML is read with libxml2's streaming reader (no tree of the document is
// built): no network, no DTD loading, no entity substitution (a reference
// to an entity the document declares is left out; a declaration that
// expands past libxml2's limits stops the document), no external entity ever
// loaded (the loader refuses every one), and no messages on the terminal.
// The caller hands in well-formed UTF-8 and the document's own encoding
// declaration is ignored (Booktext decides the encoding).
//
// A document that is not well-formed is read once more in libxml2's
// recovery mode (which builds the document's tree: refused above
// kMaxRecoverSize), and the book says so in a note; one nested deeper than
// libxml2 allows (kMaxNesting, 256 levels) is refused.
//
// HTML is read with libxml2's HTML parser, pushed in chunks, as a stream of
// element starts, ends and character data (THtmlEvents): again no tree.

#include "common/Errors.h"

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace volm {

inline constexpr size_t kMaxRecoverSize = 32u << 20;

// True when an element's `name` is one of `names`.
inline bool OneOf(std::string_view name, std::initializer_list<std::string_view> names)
{
    for (std::string_view n : names)
        if (name == n)
            return true;
    return false;
}

// The first error libxml2 reported: "line 12: Opening and ending tag mismatch: p and section".
class EXmlError : public Error {
public:
    using Error::Error;
};

class TXmlReader {
public:
    // Node types, as libxml2's reader numbers them.
    enum { ntElement = 1, ntText = 3, ntCdata = 4, ntWhitespace = 13, ntSignificantWhitespace = 14, ntEndElement = 15 };

    // Over `utf8`, which must outlive the reader. With `recover`, the document
    // is parsed whole in recovery mode first and the reader walks its tree.
    TXmlReader(std::string_view utf8, const std::string& fileName, bool recover);
    ~TXmlReader();
    TXmlReader(const TXmlReader&) = delete;
    TXmlReader& operator=(const TXmlReader&) = delete;

    // The next node; false at the end. Raises EXmlError at an error.
    bool Read();
    // Past the current element and everything in it: the node after it
    // becomes current (do not Read before handling it); false at the end.
    bool Skip();

    int Type() const;
    // The element's name without its namespace prefix.
    std::string_view Name() const;
    // A text node's characters.
    std::string_view Value() const;
    // An element written as <name/>: no end node follows.
    bool IsEmpty() const;
    // The value of the current element's attribute named `localName` (in any
    // namespace), or "" when it has none.
    std::string Attribute(std::string_view localName) const;

private:
    [[noreturn]] void fail() const;

    void* reader_ = nullptr; // xmlTextReaderPtr
    void* doc_ = nullptr;    // xmlDocPtr, in recovery mode
    std::string error_;
};

// Runs `parse` over the document. When it is not well-formed, runs it once
// more (from the start: `parse` must begin afresh) in recovery mode and adds
// a note saying so to `notes`. Raises EBookError ("<file>: not well-formed
// XML (line 3: ...)") when recovery can't read it either.
void ReadXml(std::string_view utf8, const std::string& fileName, const std::function<void(TXmlReader&)>& parse,
             std::vector<std::string>& notes);

// What an HTML document is made of, as the parser meets it.
class THtmlEvents {
public:
    virtual ~THtmlEvents() = default;
    // A start tag: its name in lower case and its attributes (name, value).
    virtual void Start(std::string_view name, const std::vector<std::pair<std::string_view, std::string_view>>& attrs) = 0;
    virtual void End(std::string_view name) = 0;
    // Character data, entities decoded (UTF-8).
    virtual void Text(std::string_view text) = 0;
};

// Feeds an HTML document (UTF-8) to `events`. libxml2's HTML parser repairs
// what browsers repair; it never fails.
void ParseHtml(std::string_view utf8, const std::string& fileName, THtmlEvents& events);

} // namespace volm
