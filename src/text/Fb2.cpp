#include "text/Fb2.h"

#include "text/Booktext.h"
#include "text/Htmltext.h"
#include "text/Xmlread.h"

#include <optional>

namespace volm {
namespace {

// Elements that end the paragraph before them and their own.
bool Block(std::string_view n)
{
    return OneOf(n, {"p", "v", "subtitle", "text-author", "date", "title", "epigraph", "annotation", "section",
                     "poem", "stanza", "cite", "empty-line", "table", "tr", "body", "image"});
}

class TFb2Reader {
public:
    TFb2Reader(const std::string& fileName, uint64_t inputSize, TNoteMode notes) : fileName_(fileName), mode_(notes)
    {
        b_.CarryFrontTitle();
        b_.Limit(fileName, inputSize);
    }

    void Read(TXmlReader& r)
    {
        for (bool ok = r.Read(); ok;) {
            switch (r.Type()) {
            case TXmlReader::ntElement: {
                std::string name(r.Name());
                if (name == "binary" && !r.IsEmpty()) {
                    ok = r.Skip();
                    continue;
                }
                const bool empty = r.IsEmpty();
                start(name, r);
                stack_.push_back(name);
                if (empty) {
                    end(name);
                    stack_.pop_back();
                }
                break;
            }
            case TXmlReader::ntEndElement:
                if (!stack_.empty()) {
                    end(stack_.back());
                    stack_.pop_back();
                }
                break;
            case TXmlReader::ntText:
            case TXmlReader::ntCdata:
            case TXmlReader::ntWhitespace:
            case TXmlReader::ntSignificantWhitespace:
                text(r.Value());
                break;
            default:
                break;
            }
            ok = r.Read();
        }
    }

    TBook Finish(TBook book)
    {
        flush();
        book.title = CollapseBlanks(w_(title_));
        for (const TAuthor& a : authors_) {
            // "Имя Отчество Фамилия"; the nickname when there is no name.
            std::string name = CollapseBlanks(w_(a.first + ' ' + a.middle + ' ' + a.last));
            if (name.empty())
                name = CollapseBlanks(w_(a.nick));
            if (name.empty())
                continue;
            if (!book.author.empty())
                book.author += ", ";
            book.author += name;
        }
        book.chapters = b_.Finish(book.title, BookFileStem(fileName_));
        if (mode_ != TNoteMode::Topic)
            PlaceNotes(book.chapters, notes_text_, mode_, notesTitle_);
        AddAnnotation(book, annotation_);
        book.SetReplaced(w_.Count());
        return book;
    }

private:
    enum TKind { kTitle, kLead, kBody };

    bool in(std::string_view name) const
    {
        for (const std::string& s : stack_)
            if (s == name)
                return true;
        return false;
    }

    // Where a paragraph belongs, from the elements around it.
    TKind kind(bool& sectionTitle) const
    {
        sectionTitle = false;
        for (size_t i = stack_.size(); i-- > 0;) {
            const std::string& n = stack_[i];
            const std::string parent = i > 0 ? stack_[i - 1] : std::string();
            bool ofSection = parent == "section" || parent == "body";
            if (n == "title") {
                if (!ofSection)
                    return kBody;
                if (notes_ && parent == "section")
                    return kBody;
                sectionTitle = true;
                return kTitle;
            }
            if (n == "epigraph" || n == "annotation")
                return ofSection && !notes_ ? kLead : kBody;
            if (OneOf(n, {"poem", "cite", "stanza", "section", "body"}))
                return kBody;
        }
        return kBody;
    }

    // The paragraph of the annotation read so far.
    void annotationLine()
    {
        std::string line = CollapseBlanks(w_(annotationPara_));
        annotationPara_.clear();
        if (!line.empty())
            annotation_.push_back(std::move(line));
    }

    void flush()
    {
        if (para_.empty())
            return;
        std::string line = CollapseBlanks(w_(para_));
        para_.clear();
        std::vector<std::pair<std::string, std::string>> refs = std::move(refs_);
        refs_.clear();
        if (line.empty())
            return;
        if (collectNotes()) {
            // A note's title is its number; the body's title names the notes.
            if (in("title")) {
                if (noteIds_.empty())
                    notesTitle_ = JoinTitle({notesTitle_, line});
                else
                    notes_text_.label.emplace(noteIds_.back(), line);
            } else {
                notes_text_.Add(noteIds_.empty() ? std::string() : noteIds_.back(), line);
            }
            return;
        }
        bool sectionTitle = false;
        switch (kind(sectionTitle)) {
        case kTitle:
            b_.Title(line);
            titleLines_.push_back(line);
            break;
        case kLead: b_.Lead(line); break;
        case kBody: b_.Line(line); break;
        }
        if (mode_ != TNoteMode::Topic)
            for (const auto& [label, key] : refs)
                b_.NoteRef(label, key);
    }

    // The notes body is read into notes to place (not as a topic).
    bool collectNotes() const { return notes_ && mode_ != TNoteMode::Topic; }

    // In the body, a block element ends the paragraph before it (at its
    // start) and its own (at its end). False outside the body.
    bool bodyElement(const std::string& name)
    {
        if (!inBody_)
            return false;
        if (Block(name))
            flush();
        return true;
    }

    void start(const std::string& name, TXmlReader& r)
    {
        if (name == "description") {
            inDescription_ = true;
            return;
        }
        if (inDescription_) {
            if (name == "author" && in("title-info") && !in("author"))
                authors_.emplace_back();
            if (in("annotation") && in("title-info") && Block(name))
                annotationLine();
            return;
        }
        if (name == "body") {
            flush();
            ++bodies_;
            inBody_ = true;
            // The first body is the book; a later one with a name is notes.
            notes_ = bodies_ > 1 && !r.Attribute("name").empty();
            if (notes_ && !collectNotes()) {
                b_.Chapter("", 1);
                sections_ = 0;
            }
            return;
        }
        if (!bodyElement(name))
            return;
        if (name == "section" && !notes_) {
            ++sections_;
            b_.Chapter("", sections_);
        } else if (name == "section" && collectNotes()) {
            std::string id = r.Attribute("id");
            noteIds_.push_back(id.empty() && !noteIds_.empty() ? noteIds_.back() : w_(id));
        } else if (name == "title") {
            titleLines_.clear();
        } else if (name == "empty-line") {
            b_.Empty();
        } else if (name == "stanza" || name == "poem") {
            b_.Empty(); // verse stands apart from prose, stanzas from each other
        } else if (name == "td" || name == "th") {
            if (para_.find_first_not_of(" \t\r\n") != std::string::npos)
                para_ += " | ";
        } else if (name == "a") {
            const bool note = r.Attribute("type") == "note";
            noteRefs_.push_back(note ? static_cast<long>(para_.size()) : -1);
            std::string href = r.Attribute("l:href");
            if (href.empty())
                href = r.Attribute("href");
            noteHrefs_.push_back(note && !href.empty() && href[0] == '#' ? href.substr(1) : std::string());
        }
    }

    void end(const std::string& name)
    {
        if (name == "description") {
            inDescription_ = false;
            return;
        }
        if (inDescription_) {
            if ((name == "annotation" || in("annotation")) && in("title-info") && Block(name))
                annotationLine();
            return;
        }
        if (name == "body") {
            flush();
            inBody_ = false;
            if (notes_ && !notesTitled_ && !collectNotes())
                b_.SetName("Notes");
            notes_ = notesTitled_ = false;
            return;
        }
        if (!bodyElement(name))
            return;
        if (name == "section" && !notes_) {
            if (sections_ > 0)
                --sections_;
        } else if (name == "section" && collectNotes()) {
            if (!noteIds_.empty())
                noteIds_.pop_back();
        } else if (name == "title") {
            const std::string parent = stack_.size() >= 2 ? stack_[stack_.size() - 2] : std::string();
            if ((parent == "section" && !notes_) || (parent == "body" && notes_ && !collectNotes()))
                b_.SetName(JoinTitle(titleLines_));
            notesTitled_ |= parent == "body" && notes_ && !titleLines_.empty();
        } else if (name == "stanza" || name == "poem") {
            b_.Empty();
        } else if (name == "a" && !noteRefs_.empty()) {
            long at = noteRefs_.back();
            noteRefs_.pop_back();
            std::string href = std::move(noteHrefs_.back());
            noteHrefs_.pop_back();
            if (at >= 0 && static_cast<size_t>(at) <= para_.size()) {
                size_t from = para_.find_first_not_of(" \t\r\n", static_cast<size_t>(at));
                if (from != std::string::npos && para_[from] != '[' && para_[from] != '{' && para_[from] != '(') {
                    para_.insert(from, "[");
                    size_t to = para_.find_last_not_of(" \t\r\n");
                    para_.insert(to + 1, "]");
                }
                if (from != std::string::npos && !href.empty())
                    refs_.emplace_back(CollapseBlanks(w_(para_.substr(from))), w_(href));
            }
        }
    }

    void text(std::string_view t)
    {
        if (inDescription_) {
            if (stack_.empty() || !in("title-info"))
                return;
            if (in("annotation")) {
                annotationPara_ += t;
                return;
            }
            const std::string& n = stack_.back();
            if (n == "book-title" && !in("sequence")) {
                title_ += t;
            } else if (!authors_.empty() && in("author")) {
                TAuthor& a = authors_.back();
                if (n == "first-name")
                    a.first += t;
                else if (n == "middle-name")
                    a.middle += t;
                else if (n == "last-name")
                    a.last += t;
                else if (n == "nickname")
                    a.nick += t;
            }
            return;
        }
        if (inBody_)
            para_ += t;
    }

    std::string fileName_;
    TBookBuilder b_;
    TBookTextWriter w_;
    std::vector<std::string> stack_;
    std::string para_;
    std::vector<std::string> titleLines_;
    std::vector<long> noteRefs_;
    std::vector<std::string> noteHrefs_;                   // of the open links: the note's id, or ""
    std::vector<std::pair<std::string, std::string>> refs_; // the paragraph's note references: label, id
    std::vector<std::string> noteIds_;                     // the open sections of the notes body
    TBookNotes notes_text_;
    std::string notesTitle_;
    TNoteMode mode_;
    std::string title_;
    std::string annotationPara_;
    std::vector<std::string> annotation_;
    struct TAuthor {
        std::string first, middle, last, nick;
    };
    std::vector<TAuthor> authors_;
    int bodies_ = 0, sections_ = 0;
    bool inDescription_ = false, inBody_ = false, notes_ = false, notesTitled_ = false;
};

bool NameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

// The document without the content of its binary elements (the images, in
// base64: no text of the book, and often past what libxml2 takes in one text
// node). Only content that is plain text up to the element's own end tag is
// dropped; "" when there is none, so that the caller keeps its bytes.
std::string WithoutBinaries(std::string_view xml)
{
    std::string out;
    size_t copied = 0;
    for (size_t at = xml.find("binary"); at != std::string_view::npos; at = xml.find("binary", at + 6)) {
        // "<binary" or "<prefix:binary", then a blank, ">" or "/".
        size_t open = at;
        if (open > 0 && xml[open - 1] == ':') {
            --open;
            while (open > 0 && NameChar(xml[open - 1]))
                --open;
        }
        if (open == 0 || xml[open - 1] != '<' || at + 6 >= xml.size())
            continue;
        const char next = xml[at + 6];
        if (next != '>' && next != '/' && next != ' ' && next != '\t' && next != '\r' && next != '\n')
            continue;
        const std::string_view qname = xml.substr(open, at + 6 - open);
        // The start tag's end, past quoted attribute values.
        size_t i = at + 6;
        char quote = 0;
        for (; i < xml.size(); ++i) {
            if (quote) {
                quote = xml[i] == quote ? 0 : quote;
            } else if (xml[i] == '"' || xml[i] == '\'') {
                quote = xml[i];
            } else if (xml[i] == '>') {
                break;
            }
        }
        if (i >= xml.size() || xml[i - 1] == '/')
            continue;
        const size_t from = i + 1;
        const size_t to = xml.find('<', from);
        if (to == std::string_view::npos || xml.compare(to, 2, "</") != 0 || xml.compare(to + 2, qname.size(), qname) != 0)
            continue;
        size_t e = to + 2 + qname.size();
        while (e < xml.size() && (xml[e] == ' ' || xml[e] == '\t' || xml[e] == '\r' || xml[e] == '\n'))
            ++e;
        if (e >= xml.size() || xml[e] != '>')
            continue;
        if (out.empty())
            out.reserve(xml.size() / 2);
        out.append(xml.substr(copied, from - copied));
        copied = to;
        at = e;
    }
    if (copied == 0)
        return {};
    out.append(xml.substr(copied));
    return out;
}

} // namespace

TBook ImportFb2(std::string_view bytes, const std::string& fileName, const TBookOptions& options)
{
    TBook book;
    book.format = BookFormatName(TBookFormat::Fb2);
    TSourceText src = DecodeBookSource(book, bytes, false, fileName, options);
    std::string text = WithoutBinaries(src.Text());
    if (!text.empty()) {
        src.utf8.clear();
        src.utf8.shrink_to_fit();
    }
    std::optional<TFb2Reader> reader;
    ReadXml(text.empty() ? src.Text() : std::string_view(text), fileName,
            [&](TXmlReader& r) {
                reader.emplace(fileName, bytes.size(), options.notes); // a second run starts afresh
                reader->Read(r);
            },
            book.notes);
    return reader->Finish(std::move(book));
}

} // namespace volm
