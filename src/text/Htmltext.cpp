#include "text/Htmltext.h"

#include "common/Codepage.h"
#include "text/Booklimits.h"
#include "text/Xmlread.h"

#include <cmark.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace volm {
namespace {

// Elements whose content is not text of the book.
bool Dropped(std::string_view name)
{
    // A nav holds the navigation (the book's contents, a site's menu),
    // never the book's text.
    return OneOf(name, {"script", "style", "head", "template", "svg", "noscript", "object", "iframe", "select",
                        "textarea", "button", "nav"});
}

bool Block(std::string_view name)
{
    return OneOf(name, {"p", "div", "li", "blockquote", "pre", "tr", "dt", "dd", "section", "article", "header",
                        "footer", "aside", "figure", "figcaption", "hr", "table", "ul", "ol", "dl", "address",
                        "center", "nav", "main", "body", "html", "caption", "h1", "h2", "h3", "h4", "h5", "h6",
                        "form", "fieldset", "legend", "details", "summary", "hgroup", "thead", "tbody", "tfoot",
                        "option", "math"});
}

// An aside, or an element whose epub:type or role is one of `types`. The
// notes of HTML books made for the web say so by their class instead: a link
// of class "fnanchor" or "noteref" (as Project Gutenberg's books have them) and
// a div, p, li or aside of class "footnote".
bool Note(std::string_view name, const std::vector<std::pair<std::string_view, std::string_view>>& attrs,
          std::initializer_list<std::string_view> types)
{
    const bool noteBlock = *types.begin() == "footnote";
    if (name == "aside" && noteBlock)
        return true;
    auto holds = [](std::string_view words, std::initializer_list<std::string_view> wanted) {
        size_t at = 0;
        while (at < words.size()) {
            size_t end = words.find(' ', at);
            if (end == std::string_view::npos)
                end = words.size();
            if (OneOf(words.substr(at, end - at), wanted))
                return true;
            at = end + 1;
        }
        return false;
    };
    const bool classNamed = noteBlock ? OneOf(name, {"div", "p", "li", "aside"}) : name == "a";
    for (const auto& [a, v] : attrs) {
        if ((a == "epub:type" || a == "role") && holds(v, types))
            return true;
        if (a == "class" && classNamed &&
            (noteBlock ? holds(v, {"footnote"}) : holds(v, {"fnanchor", "noteref"})))
            return true;
    }
    return false;
}

int HeadingLevel(std::string_view name)
{
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6')
        return name[1] - '0';
    return 0;
}

class TBlockCollector : public THtmlEvents {
public:
    TBlockCollector(TBookTextWriter& writer, bool notes, uint64_t limit)
        : writer_(writer), limit_(limit), notes_(notes)
    {
    }
    // The blocks passed the limit: the rest of the document is not kept.
    bool Over() const { return cost_ > limit_; }

    void Start(std::string_view name, const std::vector<std::pair<std::string_view, std::string_view>>& attrs) override
    {
        for (const auto& [a, v] : attrs)
            if (!v.empty() && (a == "id" || (a == "name" && name == "a")))
                ids_.emplace_back(v);
        if (name == "title") {
            // The first title is the document's; no title is text.
            inTitle_ = titles_++ == 0;
            ++drop_;
            return;
        }
        if (Dropped(name)) {
            ++drop_;
            return;
        }
        if (drop_ > 0)
            return;
        if (noteNest_ > 0) {
            noteNest_ += name == noteName_;
            if (Block(name) || name == "br")
                noteBuf_ += ' ';
            for (const auto& [a, v] : attrs)
                if (noteId_.empty() && a == "id")
                    noteId_ = v;
            return;
        }
        if (notes_ && Note(name, attrs, {"footnote", "endnote", "rearnote", "doc-footnote", "doc-endnote"})) {
            flush();
            noteName_ = name;
            noteNest_ = 1;
            noteId_.clear();
            for (const auto& [a, v] : attrs)
                if (a == "id")
                    noteId_ = v;
            return;
        }
        if (name == "br") {
            flush();
            return;
        }
        if (name == "a") {
            std::string href;
            for (const auto& [a, v] : attrs)
                if (a == "href")
                    href = v;
            links_.push_back(!href.empty());
            linkDepth_ += !href.empty();
            const bool ref = notes_ && !href.empty() && Note(name, attrs, {"noteref", "doc-noteref"});
            refs_.push_back({ref ? static_cast<long>(buf_.size()) : -1, href});
            return;
        }
        if (name == "td" || name == "th") {
            if (!buf_.empty() && buf_.find_first_not_of(" \t\r\n") != std::string::npos)
                buf_ += " | ";
            return;
        }
        if (!Block(name))
            return;
        flush();
        if (int level = HeadingLevel(name)) {
            if (heading_ == 0) {
                heading_ = level;
                ++group_;
            }
            ++headingDepth_;
        }
        if (name == "pre")
            ++pre_;
    }

    void End(std::string_view name) override
    {
        if (name == "title") {
            inTitle_ = false;
            if (drop_ > 0)
                --drop_;
            return;
        }
        if (Dropped(name)) {
            if (drop_ > 0)
                --drop_;
            return;
        }
        if (drop_ > 0)
            return;
        if (noteNest_ > 0) {
            if (name == noteName_ && --noteNest_ == 0) {
                std::string text = CollapseBlanks(writer_(noteBuf_));
                noteBuf_.clear();
                if (!text.empty())
                    out_.notes.emplace_back(noteId_, std::move(text));
            } else if (Block(name)) {
                noteBuf_ += ' ';
            }
            return;
        }
        if (name == "a") {
            if (!links_.empty()) {
                linkDepth_ -= links_.back();
                links_.pop_back();
            }
            if (!refs_.empty()) {
                auto [at, href] = std::move(refs_.back());
                refs_.pop_back();
                if (at >= 0 && static_cast<size_t>(at) <= buf_.size()) {
                    size_t from = buf_.find_first_not_of(" \t\r\n", static_cast<size_t>(at));
                    if (from != std::string::npos) {
                        if (!std::strchr("[{(", buf_[from])) {
                            buf_.insert(from, 1, '[');
                            buf_.insert(buf_.find_last_not_of(" \t\r\n") + 1, 1, ']');
                        }
                        blockRefs_.emplace_back(buf_.substr(from), std::move(href));
                    }
                }
            }
            return;
        }
        if (!Block(name))
            return;
        flush();
        if (HeadingLevel(name) && headingDepth_ > 0 && --headingDepth_ == 0)
            heading_ = 0;
        if (name == "pre" && pre_ > 0)
            --pre_;
    }

    void Text(std::string_view text) override
    {
        if (inTitle_) {
            title_ += text;
            return;
        }
        if (drop_ > 0)
            return;
        if (noteNest_ > 0) {
            noteBuf_ += text;
            return;
        }
        if (pre_ > 0) {
            // Lines of preformatted text stay lines.
            for (size_t nl; (nl = text.find('\n')) != std::string_view::npos;) {
                buf_ += text.substr(0, nl);
                flush();
                text.remove_prefix(nl + 1);
            }
        }
        if (text.find_first_not_of(" \t\r\n") != std::string_view::npos)
            (linkDepth_ > 0 ? linked_ : unlinked_) = true;
        buf_ += text;
    }

    THtmlText Finish()
    {
        flush();
        out_.title = CollapseBlanks(writer_(title_));
        return std::move(out_);
    }

private:
    void flush()
    {
        if (buf_.empty())
            return;
        if (Over()) {
            buf_.clear();
            return;
        }
        std::string line = writer_(buf_);
        buf_.clear();
        const bool link = linked_ && !unlinked_;
        linked_ = unlinked_ = false;
        std::vector<std::pair<std::string, std::string>> refs = std::move(blockRefs_);
        blockRefs_.clear();
        if (pre_ > 0) {
            while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
                line.pop_back();
            if (line.find_first_not_of(" \t") == std::string::npos)
                return;
        } else {
            line = CollapseBlanks(line);
            if (line.empty())
                return;
        }
        THtmlBlock b;
        b.heading = heading_;
        b.group = heading_ ? group_ : 0;
        b.link = link;
        for (auto& [label, href] : refs)
            b.noteRefs.emplace_back(CollapseBlanks(writer_(label)), std::move(href));
        b.text = std::move(line);
        b.ids = std::move(ids_);
        ids_.clear();
        cost_ += 2 * sizeof(THtmlBlock) + b.text.size(); // with the list's room to grow
        for (const std::string& id : b.ids)
            cost_ += sizeof(std::string) + id.size();
        out_.blocks.push_back(std::move(b));
    }

    TBookTextWriter& writer_;
    uint64_t limit_, cost_ = 0;
    THtmlText out_;
    std::string buf_;   // UTF-8 of the paragraph being read
    std::string title_;
    std::vector<std::string> ids_;
    int drop_ = 0, pre_ = 0;
    int heading_ = 0, headingDepth_ = 0, group_ = 0;
    int titles_ = 0;
    bool inTitle_ = false;
    // Notes: the note element being read (its name, how many of that name
    // are open, its id and text), the open links' note reference (where
    // its label starts in buf_, or -1; the link), the references met in
    // the paragraph.
    bool notes_;
    std::string noteName_, noteId_, noteBuf_;
    int noteNest_ = 0;
    std::vector<std::pair<long, std::string>> refs_;
    std::vector<std::pair<std::string, std::string>> blockRefs_;
    std::vector<bool> links_; // the open a elements: with an href or not
    int linkDepth_ = 0;
    bool linked_ = false, unlinked_ = false; // the paragraph has text inside links, outside them
};

bool ContentsWord(const std::string& text)
{
    std::string t = asciiLower(text);
    while (!t.empty() && (t.back() == ':' || t.back() == '.'))
        t.pop_back();
    return OneOf(std::string_view(t), {"contents", "table of contents", "\xd1\xee\xe4\xe5\xf0\xe6\xe0\xed\xe8\xe5",
                                       "\xd1\xce\xc4\xc5\xd0\xc6\xc0\xcd\xc8\xc5",
                                       "\xce\xe3\xeb\xe0\xe2\xeb\xe5\xed\xe8\xe5",
                                       "\xce\xc3\xcb\xc0\xc2\xcb\xc5\xcd\xc8\xc5"});
}

// Leaves out contents lists: runs of at least three paragraphs that are
// links and nothing else, with the heading that names such a run
// ("Contents", "Содержание", "Оглавление") when it stands right before it.
void DropContentsLists(std::vector<THtmlBlock>& blocks)
{
    constexpr size_t kShortestList = 3;
    // The kept blocks move to the front, in place: [0, kept) is the output.
    size_t kept = 0;
    for (size_t i = 0; i < blocks.size();) {
        size_t j = i;
        while (j < blocks.size() && blocks[j].link && !blocks[j].heading)
            ++j;
        if (j - i >= kShortestList) {
            if (kept > 0 && blocks[kept - 1].heading) {
                size_t k = kept;
                while (k > 0 && blocks[k - 1].heading && blocks[k - 1].group == blocks[kept - 1].group)
                    --k;
                if (k + 1 == kept && ContentsWord(blocks[kept - 1].text))
                    --kept;
            }
            i = j;
            continue;
        }
        if (j == i)
            ++j;
        for (; i < j; ++i, ++kept)
            if (kept != i)
                blocks[kept] = std::move(blocks[i]);
    }
    blocks.erase(blocks.begin() + static_cast<long>(kept), blocks.end());
}

// A chapter of reasonable size on the phone: neither a scrap nor more than
// a few topics.
constexpr size_t kSmallestChapter = 512;
constexpr size_t kLargestChapter = 64 * 1024;

// The heading level chapters start at: of the levels that occur at least
// three times, the one that cuts the book into the most pieces of
// reasonable size (the text between headings of that level or above), the
// higher one of two that cut as many. A level used only for the title and a
// part or two lies above it, and its headings become the chapters' parents.
// Without such a level: the highest level that occurs twice.
int SplitLevel(const THtmlText& doc, const std::array<int, 7>& count)
{
    int best = 0;
    size_t bestPieces = 0;
    for (int level = 1; level <= 6; ++level) {
        if (count[level] < 3)
            continue;
        std::vector<size_t> sizes{0};
        int lastGroup = 0;
        for (const THtmlBlock& bl : doc.blocks) {
            if (bl.heading && bl.heading <= level && bl.group != lastGroup)
                sizes.push_back(0);
            if (bl.heading)
                lastGroup = bl.group;
            sizes.back() += bl.text.size() + 2;
        }
        size_t reasonable = 0;
        for (size_t n : sizes)
            reasonable += n >= kSmallestChapter && n <= kLargestChapter;
        if (best == 0 || reasonable > bestPieces) {
            best = level;
            bestPieces = reasonable;
        }
    }
    if (best)
        return best;
    for (int level = 1; level <= 6; ++level)
        if (count[level] > 1)
            return level;
    return 0;
}

// Leaves out what lies outside Project Gutenberg's "*** START OF" and
// "*** END OF" lines, when the document has the first; says whether it had.
bool CutGutenberg(std::vector<THtmlBlock>& blocks)
{
    auto marker = [](const std::string& text, std::string_view words) {
        size_t at = text.find("***");
        if (at == std::string::npos || at > 8)
            return false;
        std::string_view t = std::string_view(text).substr(at + 3);
        while (!t.empty() && t[0] == ' ')
            t.remove_prefix(1);
        return t.size() >= words.size() && asciiLower(t.substr(0, words.size())) == words;
    };
    size_t start = blocks.size();
    for (size_t i = 0; i < blocks.size() && start == blocks.size(); ++i)
        if (marker(blocks[i].text, "start of"))
            start = i;
    if (start == blocks.size())
        return false;
    size_t end = blocks.size();
    for (size_t i = start + 1; i < blocks.size(); ++i)
        if (marker(blocks[i].text, "end of")) {
            end = i;
            break;
        }
    blocks.erase(blocks.begin() + static_cast<long>(end), blocks.end());
    blocks.erase(blocks.begin(), blocks.begin() + static_cast<long>(start + 1));
    return true;
}

// The chapters of one HTML document.
void HtmlChapters(const THtmlText& doc, TBookBuilder& b, std::string& bookTitle)
{
    std::array<int, 7> count{};
    int lastGroup = 0;
    for (const THtmlBlock& bl : doc.blocks)
        if (bl.heading && bl.group != lastGroup) {
            ++count[bl.heading];
            lastGroup = bl.group;
        }
    int split = SplitLevel(doc, count);
    bookTitle = doc.title;
    // A heading above the split level that opens the document names the book
    // when it is the only one of its level, or another heading follows it
    // with no text between ("War and Peace", then "BOOK ONE").
    int titleGroup = -1;
    size_t afterFirst = 0;
    while (afterFirst < doc.blocks.size() && doc.blocks[afterFirst].heading &&
           doc.blocks[afterFirst].group == doc.blocks[0].group)
        ++afterFirst;
    bool headingNext = afterFirst < doc.blocks.size() && doc.blocks[afterFirst].heading;
    if (!doc.blocks.empty() && doc.blocks[0].heading && (split == 0 || doc.blocks[0].heading < split) &&
        (count[doc.blocks[0].heading] == 1 || (split && headingNext))) {
        titleGroup = doc.blocks[0].group;
        if (bookTitle.empty())
            bookTitle = HeadingName(doc.blocks, 0);
    }
    for (size_t i = 0; i < doc.blocks.size(); ++i) {
        const THtmlBlock& bl = doc.blocks[i];
        if (bl.heading && bl.group == titleGroup) {
            b.Title(bl.text);
        } else if (bl.heading && split && bl.heading <= split) {
            if (i == 0 || doc.blocks[i - 1].group != bl.group)
                b.Chapter(HeadingName(doc.blocks, i), bl.heading);
            b.Title(bl.text);
        } else {
            b.Line(bl.text);
        }
        // References to notes of this document ("#id"); others name nothing here.
        for (const auto& [label, href] : bl.noteRefs)
            if (href.size() > 1 && href[0] == '#')
                b.NoteRef(label, href.substr(1));
    }
}

TBook FinishHtml(const THtmlText& doc, const std::string& fileName, uint64_t inputSize, const TBookTextWriter& w,
                 TBook book, TNoteMode notes = TNoteMode::Topic)
{
    TBookBuilder b;
    b.Limit(fileName, inputSize);
    std::string title;
    HtmlChapters(doc, b, title);
    book.title = title;
    book.chapters = b.Finish(title, BookFileStem(fileName));
    if (notes != TNoteMode::Topic) {
        TBookNotes found;
        for (const auto& [id, text] : doc.notes)
            found.Add(id, text);
        PlaceNotes(book.chapters, found, notes, "");
    }
    book.SetReplaced(w.Count());
    return book;
}

[[noreturn]] void OverLimit(const std::string& fileName, uint64_t limit)
{
    throw EBookError(fileName + ": the book's text passes the output size limit (" + std::to_string(limit >> 20) +
                     " MB for this file)");
}

// A Markdown tree's nodes handed to the collector as the elements cmark's
// HTML would have.
void MarkdownEvents(cmark_node* root, const std::string& fileName, TBlockCollector& c)
{
    std::unique_ptr<cmark_iter, void (*)(cmark_iter*)> iter(cmark_iter_new(root), cmark_iter_free);
    const std::vector<std::pair<std::string_view, std::string_view>> none;
    std::vector<std::pair<std::string_view, std::string_view>> href(1);
    size_t depth = 0, image = 0;
    static const char* const headings[] = {"h1", "h2", "h3", "h4", "h5", "h6"};
    for (cmark_event_type ev; (ev = cmark_iter_next(iter.get())) != CMARK_EVENT_DONE;) {
        cmark_node* node = cmark_iter_get_node(iter.get());
        const cmark_node_type type = cmark_node_get_type(node);
        const bool enter = ev == CMARK_EVENT_ENTER;
        auto literal = [&] {
            const char* l = cmark_node_get_literal(node);
            return l ? std::string_view(l) : std::string_view();
        };
        // An image's text is its description, which the HTML holds in an
        // attribute: no text of the book.
        if (type == CMARK_NODE_IMAGE) {
            if (enter)
                ++image;
            else if (image > 0)
                --image;
            continue;
        }
        if (image > 0)
            continue;
        const char* element = nullptr;
        switch (type) {
        case CMARK_NODE_BLOCK_QUOTE: element = "blockquote"; break;
        case CMARK_NODE_LIST: element = cmark_node_get_list_type(node) == CMARK_ORDERED_LIST ? "ol" : "ul"; break;
        case CMARK_NODE_ITEM: element = "li"; break;
        case CMARK_NODE_PARAGRAPH: element = "p"; break;
        case CMARK_NODE_HEADING: {
            int level = cmark_node_get_heading_level(node);
            element = headings[std::clamp(level, 1, 6) - 1];
            break;
        }
        case CMARK_NODE_LINK: element = "a"; break;
        case CMARK_NODE_CODE_BLOCK:
            c.Start("pre", none);
            c.Text(literal());
            c.End("pre");
            continue;
        case CMARK_NODE_THEMATIC_BREAK:
            c.Start("hr", none);
            c.End("hr");
            continue;
        case CMARK_NODE_TEXT:
        case CMARK_NODE_CODE: c.Text(literal()); continue;
        case CMARK_NODE_SOFTBREAK: c.Text("\n"); continue;
        case CMARK_NODE_LINEBREAK: c.Start("br", none); continue;
        default: continue; // the document, emphasis; raw HTML is left out
        }
        if (enter) {
            if (++depth > kMaxNesting)
                throw EBookError(fileName + ": nested deeper than the limit of " + std::to_string(kMaxNesting) +
                                 " levels");
            if (type == CMARK_NODE_LINK) {
                const char* url = cmark_node_get_url(node);
                href[0] = {"href", url ? std::string_view(url) : std::string_view()};
                c.Start(element, href);
            } else {
                c.Start(element, none);
            }
        } else {
            --depth;
            c.End(element);
        }
    }
}

// A line that opens or closes a fenced code block ("```", "~~~").
bool Fence(std::string_view line)
{
    size_t i = 0;
    while (i < line.size() && i < 3 && line[i] == ' ')
        ++i;
    return line.substr(i, 3) == "```" || line.substr(i, 3) == "~~~";
}

// "[label]:" at the start of a line (a link reference definition): its label.
std::string_view DefinitionLabel(std::string_view line)
{
    size_t i = 0;
    while (i < line.size() && i < 3 && line[i] == ' ')
        ++i;
    if (i >= line.size() || line[i] != '[')
        return {};
    size_t j = i + 1;
    while (j < line.size() && line[j] != ']' && line[j] != '[') {
        if (line[j] == '\\')
            ++j;
        ++j;
    }
    if (j + 1 >= line.size() || line[j] != ']' || line[j + 1] != ':' || j == i + 1 || j - i > 1000)
        return {};
    return line.substr(i + 1, j - i - 1);
}

} // namespace

// The bytes of Markdown that cmark parses at a time: its tree takes well
// over a hundred bytes a node, and dense markup makes a node of every
// other byte.
constexpr size_t kMarkdownPiece = 64 * 1024;

// The blocks of a Markdown text (UTF-8). The text is parsed in pieces of
// about kMarkdownPiece bytes, cut at a blank line outside fenced code (else
// at a line end, the fence opened again after it; else at a blank), each with the text's link reference
// definitions in front, their addresses shortened (that a link has one is
// all the text needs of it), so that cmark's tree stays small whatever the
// markup and a definition used a million times costs its address once.
THtmlText MarkdownBlocks(std::string_view text, const std::string& fileName, TBookTextWriter& writer, uint64_t limit)
{
    std::string definitions;
    bool fenced = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        std::string_view line = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        at = end == std::string_view::npos ? text.size() : end + 1;
        if (Fence(line))
            fenced = !fenced;
        else if (std::string_view label = DefinitionLabel(line); !fenced && !label.empty())
            definitions.append("[").append(label).append("]: u\n");
    }
    if (!definitions.empty())
        definitions += '\n';
    const size_t piece = std::max(kMarkdownPiece, definitions.size());
    TBlockCollector c(writer, false, limit);
    std::string buf;
    std::string_view opener; // the line that opened the fenced code the text is in
    fenced = false;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.size();
        if (text.size() - at > piece) {
            // The last blank line outside a fence, else the last line end,
            // else the last blank before the piece's end.
            size_t blank = std::string_view::npos, nl = std::string_view::npos;
            bool inFence = fenced;
            for (size_t i = at; i < at + piece;) {
                size_t e = text.find('\n', i);
                if (e == std::string_view::npos || e >= at + piece)
                    break;
                std::string_view line = text.substr(i, e - i);
                if (Fence(line))
                    inFence = !inFence;
                if (!inFence && line.find_first_not_of(" \t\r") == std::string_view::npos)
                    blank = e + 1;
                nl = e + 1;
                i = e + 1;
            }
            size_t space = text.substr(at, piece).find_last_of(' ');
            end = blank != std::string_view::npos ? blank
                  : nl != std::string_view::npos  ? nl
                  : space != std::string_view::npos && space > 0 ? at + space + 1
                                                                 : at + piece;
        }
        std::string_view part = text.substr(at, end - at);
        // A piece that starts inside fenced code opens it again.
        buf.assign(definitions);
        if (fenced)
            buf.append(opener).append("\n");
        buf.append(part);
        for (size_t i = 0; i < part.size();) {
            size_t e = part.find('\n', i);
            std::string_view line = part.substr(i, e == std::string_view::npos ? std::string_view::npos : e - i);
            if (Fence(line)) {
                fenced = !fenced;
                if (fenced)
                    opener = line;
            }
            i = e == std::string_view::npos ? part.size() : e + 1;
        }
        std::unique_ptr<cmark_node, void (*)(cmark_node*)> root(
            cmark_parse_document(buf.data(), buf.size(), CMARK_OPT_DEFAULT), cmark_node_free);
        if (!root)
            throw EBookError(fileName + ": out of memory");
        MarkdownEvents(root.get(), fileName, c);
        at = end;
        if (c.Over())
            OverLimit(fileName, limit);
    }
    THtmlText doc = c.Finish();
    DropContentsLists(doc.blocks);
    return doc;
}

THtmlText HtmlBlocks(std::string_view utf8, const std::string& fileName, TBookTextWriter& writer, bool notes,
                     uint64_t limit)
{
    TBlockCollector c(writer, notes, limit);
    ParseHtml(utf8, fileName, c);
    if (c.Over())
        OverLimit(fileName, limit);
    THtmlText doc = c.Finish();
    DropContentsLists(doc.blocks);
    return doc;
}

std::string JoinTitle(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines) {
        if (l.empty())
            continue;
        if (!out.empty()) {
            char last = out.back();
            out += (last == '.' || last == '!' || last == '?' || last == ':' || last == '\x85') ? " " : ". ";
        }
        out += l;
    }
    return out;
}

std::string HeadingName(const std::vector<THtmlBlock>& blocks, size_t i)
{
    std::vector<std::string> lines;
    for (size_t j = i; j < blocks.size() && blocks[j].heading && blocks[j].group == blocks[i].group; ++j)
        lines.push_back(blocks[j].text);
    return JoinTitle(lines);
}

TBook ImportHtml(std::string_view bytes, const std::string& fileName, const TBookOptions& options)
{
    TBook book;
    book.format = BookFormatName(TBookFormat::Html);
    TSourceText src = DecodeBookSource(book, bytes, true, fileName, options);
    TBookTextWriter w;
    THtmlText doc =
        HtmlBlocks(src.Text(), fileName, w, options.notes != TNoteMode::Topic, BookOutputLimit(bytes.size()));
    if (CutGutenberg(doc.blocks))
        book.notes.push_back(fileName + ": the Project Gutenberg licence before \"*** START OF\" and after "
                                        "\"*** END OF\" is left out");
    src.utf8.clear();
    src.utf8.shrink_to_fit();
    return FinishHtml(doc, fileName, bytes.size(), w, std::move(book), options.notes);
}

TBook ImportMarkdown(std::string_view bytes, const std::string& fileName, const TBookOptions& options)
{
    TBook book;
    book.format = BookFormatName(TBookFormat::Markdown);
    TSourceText src = DecodeBookSource(book, bytes, false, fileName, options);
    // cmark's tree of the text is read as the HTML it stands for would be
    // (raw HTML in the text is left out), without making that HTML.
    TBookTextWriter w;
    THtmlText doc = MarkdownBlocks(src.Text(), fileName, w, BookOutputLimit(bytes.size()));
    src.utf8.clear();
    src.utf8.shrink_to_fit();
    return FinishHtml(doc, fileName, bytes.size(), w, std::move(book));
}

} // namespace volm
