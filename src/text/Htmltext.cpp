#include "text/Htmltext.h"

#include "text/Xmlread.h"

#include <cmark.h>

#include <array>
#include <cstdlib>
#include <memory>

namespace volm {
namespace {

// Elements whose content is not text of the book.
bool Dropped(std::string_view name)
{
    return OneOf(name, {"script", "style", "head", "template", "svg", "noscript", "object", "iframe", "select",
                        "textarea", "button"});
}

bool Block(std::string_view name)
{
    return OneOf(name, {"p", "div", "li", "blockquote", "pre", "tr", "dt", "dd", "section", "article", "header",
                        "footer", "aside", "figure", "figcaption", "hr", "table", "ul", "ol", "dl", "address",
                        "center", "nav", "main", "body", "html", "caption", "h1", "h2", "h3", "h4", "h5", "h6",
                        "form", "fieldset", "legend", "details", "summary", "hgroup", "thead", "tbody", "tfoot",
                        "option", "math"});
}

int HeadingLevel(std::string_view name)
{
    if (name.size() == 2 && name[0] == 'h' && name[1] >= '1' && name[1] <= '6')
        return name[1] - '0';
    return 0;
}

class TBlockCollector : public THtmlEvents {
public:
    explicit TBlockCollector(TBookTextWriter& writer) : writer_(writer) {}

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
        if (name == "br") {
            flush();
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
        if (drop_ > 0 || !Block(name))
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
        if (pre_ > 0) {
            // Lines of preformatted text stay lines.
            for (size_t nl; (nl = text.find('\n')) != std::string_view::npos;) {
                buf_ += text.substr(0, nl);
                flush();
                text.remove_prefix(nl + 1);
            }
        }
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
        std::string line = writer_(buf_);
        buf_.clear();
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
        b.text = std::move(line);
        b.ids = std::move(ids_);
        ids_.clear();
        out_.blocks.push_back(std::move(b));
    }

    TBookTextWriter& writer_;
    THtmlText out_;
    std::string buf_;   // UTF-8 of the paragraph being read
    std::string title_;
    std::vector<std::string> ids_;
    int drop_ = 0, pre_ = 0;
    int heading_ = 0, headingDepth_ = 0, group_ = 0;
    int titles_ = 0;
    bool inTitle_ = false;
};

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
    int split = 0;
    for (int level = 1; level <= 6 && split == 0; ++level)
        if (count[level] > 1)
            split = level;
    bookTitle = doc.title;
    // A lone heading above the split level that opens the document names the book.
    int titleGroup = -1;
    if (!doc.blocks.empty() && doc.blocks[0].heading && (split == 0 || doc.blocks[0].heading < split) &&
        count[doc.blocks[0].heading] == 1) {
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
    }
}

TBook FinishHtml(const THtmlText& doc, const std::string& fileName, const TBookTextWriter& w, TBook book)
{
    TBookBuilder b;
    std::string title;
    HtmlChapters(doc, b, title);
    book.title = title;
    book.chapters = b.Finish(title, BookFileStem(fileName));
    book.SetReplaced(w.Count());
    return book;
}

} // namespace

THtmlText HtmlBlocks(std::string_view utf8, const std::string& fileName, TBookTextWriter& writer)
{
    TBlockCollector c(writer);
    ParseHtml(utf8, fileName, c);
    return c.Finish();
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
    THtmlText doc = HtmlBlocks(src.Text(), fileName, w);
    src.utf8.clear();
    src.utf8.shrink_to_fit();
    return FinishHtml(doc, fileName, w, std::move(book));
}

TBook ImportMarkdown(std::string_view bytes, const std::string& fileName, const TBookOptions& options)
{
    TBook book;
    book.format = BookFormatName(TBookFormat::Markdown);
    TSourceText src = DecodeBookSource(book, bytes, false, fileName, options);
    // cmark makes HTML of it (raw HTML in the text is left out), and that is
    // read as any HTML document.
    std::unique_ptr<char, void (*)(void*)> html(
        cmark_markdown_to_html(src.Text().data(), src.Text().size(), CMARK_OPT_DEFAULT), std::free);
    if (!html)
        throw EBookError(fileName + ": out of memory");
    src.utf8.clear();
    src.utf8.shrink_to_fit();
    TBookTextWriter w;
    THtmlText doc = HtmlBlocks(html.get(), fileName, w);
    html.reset();
    return FinishHtml(doc, fileName, w, std::move(book));
}

} // namespace volm
