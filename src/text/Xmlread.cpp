#include "text/Xmlread.h"

#include "text/Bookimport.h"
#include "text/Booklimits.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlreader.h>

#include <algorithm>
#include <mutex>

namespace volm {
namespace {

constexpr int kXmlOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC |
                            XML_PARSE_NOCDATA;
constexpr int kHtmlOptions = HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_IGNORE_ENC;

// No external entity, DTD or stylesheet is ever loaded, whatever a document asks.
xmlParserInputPtr NoLoad(const char*, const char*, xmlParserCtxtPtr)
{
    return nullptr;
}

// Messages that libxml2 would print without a handler go nowhere.
void Quiet(void*, const char*, ...) {}

void Setup()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(NoLoad);
        xmlSetGenericErrorFunc(nullptr, Quiet);
    });
}

void Record(void* arg, xmlErrorPtr e)
{
    auto* error = static_cast<std::string*>(arg);
    // Only what stops the document: a namespace prefix nobody declared (as
    // some FB2 files have for "l:href") does not.
    if (!e || !error->empty() || e->level < XML_ERR_FATAL)
        return;
    std::string msg = e->message ? e->message : "unknown error";
    while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' '))
        msg.pop_back();
    *error = "line " + std::to_string(e->line) + ": " + msg;
}

xmlTextReaderPtr R(void* p) { return static_cast<xmlTextReaderPtr>(p); }

const char* S(const xmlChar* s) { return reinterpret_cast<const char*>(s); }

} // namespace

TXmlReader::TXmlReader(std::string_view utf8, const std::string& fileName, bool recover)
{
    Setup();
    if (recover) {
        xmlDocPtr doc = xmlReadMemory(utf8.data(), static_cast<int>(utf8.size()), fileName.c_str(), "UTF-8",
                                      kXmlOptions | XML_PARSE_RECOVER);
        if (!doc)
            throw EXmlError("recovery mode could not read it");
        doc_ = doc;
        reader_ = xmlReaderWalker(doc);
    } else {
        reader_ = xmlReaderForMemory(utf8.data(), static_cast<int>(utf8.size()), fileName.c_str(), "UTF-8",
                                     kXmlOptions);
    }
    if (!reader_) {
        if (doc_)
            xmlFreeDoc(static_cast<xmlDocPtr>(doc_));
        throw EXmlError("out of memory");
    }
    // A reader over a tree has no parser to report (and no handler to set).
    if (!doc_)
        xmlTextReaderSetStructuredErrorHandler(R(reader_), Record, &error_);
}

TXmlReader::~TXmlReader()
{
    if (reader_)
        xmlFreeTextReader(R(reader_));
    if (doc_)
        xmlFreeDoc(static_cast<xmlDocPtr>(doc_));
}

void TXmlReader::fail() const
{
    throw EXmlError(error_.empty() ? "not well-formed" : error_);
}

bool TXmlReader::Read()
{
    int r = xmlTextReaderRead(R(reader_));
    if (r < 0)
        fail();
    return r == 1;
}

bool TXmlReader::Skip()
{
    int r = xmlTextReaderNext(R(reader_));
    if (r < 0)
        fail();
    return r == 1;
}

int TXmlReader::Type() const { return xmlTextReaderNodeType(R(reader_)); }

std::string_view TXmlReader::Name() const
{
    const xmlChar* n = xmlTextReaderConstLocalName(R(reader_));
    return n ? std::string_view(S(n)) : std::string_view();
}

std::string_view TXmlReader::Value() const
{
    const xmlChar* v = xmlTextReaderConstValue(R(reader_));
    return v ? std::string_view(S(v)) : std::string_view();
}

bool TXmlReader::IsEmpty() const { return xmlTextReaderIsEmptyElement(R(reader_)) == 1; }


std::string TXmlReader::Attribute(std::string_view localName) const
{
    xmlTextReaderPtr r = R(reader_);
    std::string out;
    if (xmlTextReaderHasAttributes(r) != 1)
        return out;
    for (int ok = xmlTextReaderMoveToFirstAttribute(r); ok == 1; ok = xmlTextReaderMoveToNextAttribute(r)) {
        const xmlChar* n = xmlTextReaderConstLocalName(r);
        if (n && localName == S(n)) {
            const xmlChar* v = xmlTextReaderConstValue(r);
            out = v ? S(v) : "";
            break;
        }
    }
    xmlTextReaderMoveToElement(r);
    return out;
}

void ReadXml(std::string_view utf8, const std::string& fileName, const std::function<void(TXmlReader&)>& parse,
             std::vector<std::string>& notes)
{
    std::string first;
    try {
        TXmlReader reader(utf8, fileName, false);
        parse(reader);
        return;
    } catch (const EXmlError& e) {
        first = e.what();
    }
    // libxml2 stops at the nesting it allows (the import's limit too);
    // recovery mode would only read the part before.
    if (first.find("Excessive depth") != std::string::npos)
        throw EBookError(fileName + ": nested deeper than the limit of " + std::to_string(kMaxNesting) + " levels (" +
                         first + ")");
    if (utf8.size() > kMaxRecoverSize)
        throw EBookError(fileName + ": not well-formed XML (" + first + "); too large for recovery mode (" +
                         std::to_string(kMaxRecoverSize >> 20) + " MB at most)");
    try {
        TXmlReader reader(utf8, fileName, true);
        parse(reader);
    } catch (const EXmlError& e) {
        throw EBookError(fileName + ": not well-formed XML (" + first + "), and " + e.what());
    }
    notes.push_back(fileName + " is not well-formed XML (" + first + "); read in recovery mode");
}

namespace {

struct THtmlState {
    THtmlEvents* events;
    std::vector<std::pair<std::string_view, std::string_view>> attrs;
};

void HtmlStart(void* ctx, const xmlChar* name, const xmlChar** atts)
{
    auto* s = static_cast<THtmlState*>(static_cast<htmlParserCtxtPtr>(ctx)->_private);
    s->attrs.clear();
    for (size_t i = 0; atts && atts[i]; i += 2)
        s->attrs.emplace_back(S(atts[i]), atts[i + 1] ? S(atts[i + 1]) : "");
    s->events->Start(name ? S(name) : "", s->attrs);
}

void HtmlEnd(void* ctx, const xmlChar* name)
{
    auto* s = static_cast<THtmlState*>(static_cast<htmlParserCtxtPtr>(ctx)->_private);
    s->events->End(name ? S(name) : "");
}

void HtmlText(void* ctx, const xmlChar* ch, int len)
{
    auto* s = static_cast<THtmlState*>(static_cast<htmlParserCtxtPtr>(ctx)->_private);
    s->events->Text(std::string_view(S(ch), static_cast<size_t>(len)));
}

} // namespace

void ParseHtml(std::string_view utf8, const std::string& fileName, THtmlEvents& events)
{
    Setup();
    htmlSAXHandler sax{};
    sax.startElement = HtmlStart;
    sax.endElement = HtmlEnd;
    sax.characters = HtmlText;
    sax.cdataBlock = HtmlText;
    sax.error = Quiet;
    sax.warning = Quiet;
    THtmlState state{&events, {}};
    // The context is handed to the callbacks (the SAX user data is the
    // context itself when none is given): our state hangs on it.
    htmlParserCtxtPtr ctxt =
        htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, fileName.c_str(), XML_CHAR_ENCODING_UTF8);
    if (!ctxt)
        throw EBookError(fileName + ": out of memory");
    ctxt->_private = &state;
    htmlCtxtUseOptions(ctxt, kHtmlOptions);
    constexpr size_t kChunk = 64 * 1024;
    for (size_t at = 0; at < utf8.size(); at += kChunk) {
        size_t n = std::min(kChunk, utf8.size() - at);
        htmlParseChunk(ctxt, utf8.data() + at, static_cast<int>(n), 0);
    }
    htmlParseChunk(ctxt, nullptr, 0, 1);
    htmlFreeParserCtxt(ctxt);
}

} // namespace volm
