#include "text/Epub.h"

#include "common/Codepage.h"
#include "text/Booklimits.h"
#include "text/Booktext.h"
#include "text/Htmltext.h"
#include "text/Xmlread.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

namespace volm {
namespace {

struct TManifestItem {
    std::string id, path, mediaType, properties;
};

struct TPackage {
    std::string title;
    std::vector<std::string> creators;
    std::vector<TManifestItem> items;
    bool hasSpine = false;
    std::string tocId;
    std::vector<std::pair<std::string, bool>> spine; // idref, linear
    std::vector<std::string> tocPages; // the guide's contents pages
    std::string description;           // dc:description, UTF-8
};

struct TNavEntry {
    int depth = 1;
    std::string label; // UTF-8 while read
    std::string path, fragment;
};

bool HasToken(const std::string& list, const std::string& token)
{
    size_t at = 0;
    while (at < list.size()) {
        size_t end = list.find_first_of(" \t\r\n", at);
        if (end == std::string::npos)
            end = list.size();
        if (list.compare(at, end - at, token) == 0)
            return true;
        at = end + 1;
    }
    return false;
}

std::string Folder(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

class TMembers {
public:
    explicit TMembers(TBookContainer& c) : c_(c)
    {
        for (const std::string& n : c.Names()) {
            exact_.emplace(n, n);
            lower_.emplace(asciiLower(n), n);
        }
    }
    // The stored name of `path`, also when the case differs; "" when none.
    std::string Find(const std::string& path) const
    {
        auto it = exact_.find(path);
        if (it != exact_.end())
            return it->second;
        auto lt = lower_.find(asciiLower(path));
        return lt != lower_.end() ? lt->second : std::string();
    }
    std::string Read(const std::string& name) { return c_.Read(name); }
    const std::map<std::string, std::string>& All() const { return exact_; }

private:
    TBookContainer& c_;
    std::map<std::string, std::string> exact_, lower_;
};

TPackage ReadPackage(const std::string& opf, const std::string& opfPath, const std::string& where,
                     std::vector<std::string>& notes, bool detect)
{
    TSourceText src = DecodeSource(opf, false, detect);
    TPackage pkg;
    ReadXml(src.Text(), where,
            [&](TXmlReader& r) {
                pkg = TPackage{};
                std::string text;
                int inText = 0; // 1 title, 2 creator, 3 description
                bool inMetadata = false;
                for (bool ok = r.Read(); ok; ok = r.Read()) {
                    int t = r.Type();
                    if (t == TXmlReader::ntElement) {
                        std::string_view n = r.Name();
                        if (n == "metadata") {
                            inMetadata = !r.IsEmpty();
                        } else if (inMetadata && (n == "title" || n == "creator" || n == "description") &&
                                   !r.IsEmpty()) {
                            inText = n == "title" ? 1 : n == "creator" ? 2 : 3;
                            text.clear();
                        } else if (n == "reference" && asciiLower(r.Attribute("type")) == "toc") {
                            pkg.tocPages.push_back(ResolveHref(opfPath, r.Attribute("href")));
                        } else if (n == "item") {
                            TManifestItem it;
                            it.id = r.Attribute("id");
                            it.path = ResolveHref(opfPath, r.Attribute("href"));
                            it.mediaType = asciiLower(r.Attribute("media-type"));
                            it.properties = r.Attribute("properties");
                            pkg.items.push_back(std::move(it));
                        } else if (n == "spine") {
                            pkg.hasSpine = true;
                            pkg.tocId = r.Attribute("toc");
                        } else if (n == "itemref") {
                            pkg.spine.emplace_back(r.Attribute("idref"), r.Attribute("linear") != "no");
                        }
                    } else if (t == TXmlReader::ntEndElement) {
                        std::string_view n = r.Name();
                        if (n == "metadata")
                            inMetadata = false;
                        if (inText && (n == "title" || n == "creator" || n == "description")) {
                            if (inText == 1 && pkg.title.empty())
                                pkg.title = text;
                            else if (inText == 2)
                                pkg.creators.push_back(text);
                            else if (inText == 3 && pkg.description.empty())
                                pkg.description = text;
                            inText = 0;
                        }
                    } else if (inText && (t == TXmlReader::ntText || t == TXmlReader::ntCdata ||
                                          t == TXmlReader::ntSignificantWhitespace)) {
                        text += r.Value();
                    }
                }
            },
            notes);
    return pkg;
}

// EPUB 2's navigation: the NCX's nested navPoints.
std::vector<TNavEntry> ReadNcx(const std::string& bytes, const std::string& ncxPath, const std::string& where,
                               std::vector<std::string>& notes, bool detect)
{
    TSourceText src = DecodeSource(bytes, false, detect);
    std::vector<TNavEntry> entries;
    ReadXml(src.Text(), where,
            [&](TXmlReader& r) {
                entries.clear();
                std::vector<size_t> open; // entries of the open navPoints
                bool inLabel = false, inText = false;
                for (bool ok = r.Read(); ok; ok = r.Read()) {
                    int t = r.Type();
                    std::string_view n = r.Name();
                    if (t == TXmlReader::ntElement) {
                        if (n == "navPoint") {
                            entries.push_back({static_cast<int>(open.size()) + 1, {}, {}, {}});
                            if (!r.IsEmpty())
                                open.push_back(entries.size() - 1);
                        } else if (n == "navLabel" && !open.empty()) {
                            inLabel = !r.IsEmpty();
                        } else if (n == "text" && inLabel) {
                            inText = !r.IsEmpty();
                        } else if (n == "content" && !open.empty()) {
                            TNavEntry& e = entries[open.back()];
                            if (e.path.empty())
                                e.path = ResolveHref(ncxPath, r.Attribute("src"), &e.fragment);
                        }
                    } else if (t == TXmlReader::ntEndElement) {
                        if (n == "navPoint" && !open.empty())
                            open.pop_back();
                        else if (n == "navLabel")
                            inLabel = false;
                        else if (n == "text")
                            inText = false;
                    } else if (inText && !open.empty() &&
                               (t == TXmlReader::ntText || t == TXmlReader::ntCdata ||
                                t == TXmlReader::ntSignificantWhitespace)) {
                        entries[open.back()].label += r.Value();
                    }
                }
            },
            notes);
    return entries;
}

// EPUB 3's navigation document: the nav of type "toc" (else the first nav),
// its nested lists of links.
class TNavReader : public THtmlEvents {
public:
    explicit TNavReader(const std::string& navPath) : navPath_(navPath) {}

    void Start(std::string_view name, const std::vector<std::pair<std::string_view, std::string_view>>& attrs) override
    {
        if (name == "nav") {
            ++navDepth_;
            if (navDepth_ == 1) {
                std::string type;
                for (const auto& [a, v] : attrs)
                    if (a == "epub:type" || a == "type" || a == "role")
                        type += std::string(v) + ' ';
                navs_.push_back({HasToken(type, "toc") || HasToken(type, "doc-toc"), {}});
            }
            return;
        }
        if (navDepth_ == 0 || navs_.empty())
            return;
        std::vector<TNavEntry>& entries = navs_.back().second;
        if (name == "ol" || name == "ul") {
            ++listDepth_;
            label_ = false;
        } else if (name == "li") {
            entries.push_back({std::max(listDepth_, 1), {}, {}, {}});
            label_ = true;
        } else if (name == "a" && label_ && !entries.empty()) {
            for (const auto& [a, v] : attrs)
                if (a == "href" && entries.back().path.empty())
                    entries.back().path = ResolveHref(navPath_, std::string(v), &entries.back().fragment);
        }
    }

    void End(std::string_view name) override
    {
        if (name == "nav" && navDepth_ > 0) {
            --navDepth_;
            listDepth_ = 0;
        } else if ((name == "ol" || name == "ul") && listDepth_ > 0) {
            --listDepth_;
        } else if (name == "li") {
            label_ = false;
        }
    }

    void Text(std::string_view text) override
    {
        if (navDepth_ > 0 && label_ && !navs_.empty() && !navs_.back().second.empty())
            navs_.back().second.back().label += text;
    }

    std::vector<TNavEntry> Entries()
    {
        for (auto& [toc, entries] : navs_)
            if (toc)
                return std::move(entries);
        return navs_.empty() ? std::vector<TNavEntry>{} : std::move(navs_.front().second);
    }

private:
    std::string navPath_;
    std::vector<std::pair<bool, std::vector<TNavEntry>>> navs_;
    int navDepth_ = 0, listDepth_ = 0;
    bool label_ = false;
};

bool IsHtml(const TManifestItem& it)
{
    if (it.mediaType == "application/xhtml+xml" || it.mediaType == "text/html")
        return true;
    if (!it.mediaType.empty())
        return false;
    std::string p = asciiLower(it.path);
    auto ends = [&](const std::string& e) { return p.size() >= e.size() && p.compare(p.size() - e.size(), e.size(), e) == 0; };
    return ends(".xhtml") || ends(".html") || ends(".htm");
}

} // namespace

std::string ResolveHref(const std::string& base, const std::string& href, std::string* fragment)
{
    std::string h = href;
    size_t hash = h.find('#');
    if (fragment)
        *fragment = hash == std::string::npos ? std::string() : h.substr(hash + 1);
    if (hash != std::string::npos)
        h.resize(hash);
    // Links out of the book lead nowhere in it.
    size_t colon = h.find(':');
    if (colon != std::string::npos && h.find('/') > colon)
        return {};
    std::string decoded;
    for (size_t i = 0; i < h.size(); ++i) {
        if (h[i] == '%' && i + 2 < h.size() && hexDigit(h[i + 1]) >= 0 && hexDigit(h[i + 2]) >= 0) {
            decoded.push_back(static_cast<char>(hexDigit(h[i + 1]) * 16 + hexDigit(h[i + 2])));
            i += 2;
        } else {
            decoded.push_back(h[i] == '\\' ? '/' : h[i]);
        }
    }
    if (decoded.empty())
        return hash != std::string::npos ? base : std::string(); // "#id": the document itself
    std::string full = decoded[0] == '/' ? decoded.substr(1) : Folder(base) + decoded;
    std::vector<std::string> parts;
    size_t at = 0;
    while (at <= full.size()) {
        size_t end = full.find('/', at);
        if (end == std::string::npos)
            end = full.size();
        std::string seg = full.substr(at, end - at);
        if (seg == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        at = end + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

TBook ImportEpub(TBookContainer& container, const std::string& fileName, const TBookOptions& options)
{
    TBook book;
    book.format = "EPUB";
    TMembers members(container);

    // The package document.
    std::string opfPath;
    if (std::string c = members.Find("META-INF/container.xml"); !c.empty()) {
        const std::string bytes = members.Read(c);
        TSourceText src = DecodeSource(bytes, false, options.detect); // a view of `bytes`
        std::vector<std::pair<std::string, std::string>> roots;
        ReadXml(src.Text(), fileName + ": " + c,
                [&](TXmlReader& r) {
                    roots.clear();
                    for (bool ok = r.Read(); ok; ok = r.Read())
                        if (r.Type() == TXmlReader::ntElement && r.Name() == "rootfile")
                            roots.emplace_back(r.Attribute("full-path"), r.Attribute("media-type"));
                },
                book.notes);
        std::string other;
        for (const auto& [path, type] : roots) {
            std::string found = members.Find(ResolveHref("", path));
            if (found.empty())
                continue;
            if (type == "application/oebps-package+xml") {
                opfPath = found;
                break;
            }
            if (other.empty())
                other = found;
        }
        if (opfPath.empty())
            opfPath = other;
    }
    if (opfPath.empty())
        for (const auto& [name, stored] : members.All())
            if (name.size() > 4 && asciiLower(name.substr(name.size() - 4)) == ".opf") {
                opfPath = stored;
                break;
            }
    if (opfPath.empty())
        throw EBookError(fileName + ": an EPUB without a package document (no .opf file)");
    TPackage pkg = ReadPackage(members.Read(opfPath), opfPath, fileName + ": " + opfPath, book.notes, options.detect);
    if (!pkg.hasSpine || pkg.spine.empty())
        throw EBookError(fileName + ": an EPUB without a spine (" + opfPath + " gives no reading order)");
    if (pkg.spine.size() > kMaxSpineItems)
        throw EBookError(fileName + ": more spine items than the limit of " + std::to_string(kMaxSpineItems) + " (" +
                         std::to_string(pkg.spine.size()) + ")");
    std::map<std::string, const TManifestItem*> byId;
    for (const TManifestItem& it : pkg.items)
        byId.emplace(it.id, &it);

    TBookTextWriter w;
    book.title = CollapseBlanks(w(pkg.title));
    for (const std::string& c : pkg.creators) {
        std::string a = CollapseBlanks(w(c));
        if (!a.empty())
            book.author += (book.author.empty() ? "" : ", ") + a;
    }

    // The navigation.
    std::vector<TNavEntry> nav;
    const TManifestItem* navItem = nullptr;
    for (const TManifestItem& it : pkg.items)
        if (HasToken(it.properties, "nav")) {
            navItem = &it;
            break;
        }
    if (navItem && !members.Find(navItem->path).empty()) {
        const std::string bytes = members.Read(members.Find(navItem->path));
        TSourceText src = DecodeSource(bytes, true, options.detect);
        TNavReader reader(navItem->path);
        ParseHtml(src.Text(), fileName + ": " + navItem->path, reader);
        nav = reader.Entries();
    }
    if (nav.empty()) {
        const TManifestItem* ncx = nullptr;
        if (auto it = byId.find(pkg.tocId); !pkg.tocId.empty() && it != byId.end())
            ncx = it->second;
        for (const TManifestItem& it : pkg.items)
            if (!ncx && it.mediaType == "application/x-dtbncx+xml")
                ncx = &it;
        if (ncx && !members.Find(ncx->path).empty())
            nav = ReadNcx(members.Read(members.Find(ncx->path)), ncx->path, fileName + ": " + ncx->path, book.notes,
                          options.detect);
    }

    // The reading order: linear items, then the others. The navigation
    // document and the guide's contents pages are no text of the book, also
    // when the spine lists them.
    const std::set<std::string> tocPages(pkg.tocPages.begin(), pkg.tocPages.end());
    auto navigation = [&](const TManifestItem& it) {
        return HasToken(it.properties, "nav") || (navItem && it.path == navItem->path) || tocPages.count(it.path);
    };
    // Each document once, at its first place, however many items or spine
    // entries name it.
    std::vector<const TManifestItem*> spine;
    std::set<std::string> inSpine;
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& [idref, linear] : pkg.spine) {
            auto it = byId.find(idref);
            if (it == byId.end() || linear != (pass == 0) || !IsHtml(*it->second) || navigation(*it->second))
                continue;
            if (inSpine.insert(it->second->path).second)
                spine.push_back(it->second);
        }
    if (nav.size() > kMaxNavEntries)
        throw EBookError(fileName + ": more navigation entries than the limit of " + std::to_string(kMaxNavEntries) +
                         " (" + std::to_string(nav.size()) + ")");
    std::map<std::string, std::vector<size_t>> entriesOf; // spine path -> nav entries, in nav order
    for (size_t i = 0; i < nav.size(); ++i)
        if (!nav[i].path.empty())
            entriesOf[nav[i].path].push_back(i);
    bool navUsable = false;
    for (const TManifestItem* it : spine)
        navUsable |= entriesOf.count(it->path) > 0;

    TBookBuilder b;
    b.Limit(fileName, container.Size());
    TBookNotes notes;
    bool started = false; // a chapter has begun (the text before the first one is over)
    int level = 1;
    for (const TManifestItem* it : spine) {
        std::string stored = members.Find(it->path);
        if (stored.empty()) {
            book.notes.push_back(fileName + ": the spine names " + it->path + ", which the book lacks");
            continue;
        }
        std::string where = fileName + ": " + stored;
        THtmlText doc;
        {
            const std::string bytes = members.Read(stored);
            TSourceText src = DecodeSource(bytes, true, options.detect);
            if (book.encoding.empty())
                book.encoding = src.encoding;
            if (!src.note.empty())
                book.notes.push_back(where + ": " + src.note);
            doc = HtmlBlocks(src.Text(), where, w, options.notes != TNoteMode::Topic, b.Remaining());
            for (const auto& [id, text] : doc.notes)
                notes.Add(it->path + '#' + id, text);
        }
        // Where the navigation's entries start their chapters.
        std::vector<std::pair<size_t, size_t>> starts; // block, entry
        if (auto e = entriesOf.find(it->path); e != entriesOf.end()) {
            std::unordered_map<std::string_view, size_t> blockOf; // anchor -> the first block it precedes
            for (size_t i = 0; i < doc.blocks.size(); ++i)
                for (const std::string& id : doc.blocks[i].ids)
                    blockOf.emplace(id, i);
            for (size_t entry : e->second) {
                size_t at = 0;
                if (!nav[entry].fragment.empty())
                    if (auto b = blockOf.find(nav[entry].fragment); b != blockOf.end())
                        at = b->second;
                starts.emplace_back(at, entry);
            }
        }
        std::stable_sort(starts.begin(), starts.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        bool atStart = !starts.empty() && starts.front().first == 0;
        size_t firstHeading = doc.blocks.size();
        for (size_t i = 0; i < doc.blocks.size(); ++i)
            if (doc.blocks[i].heading) {
                firstHeading = i;
                break;
            }
        if (!atStart && firstHeading < doc.blocks.size() && (started || !navUsable)) {
            std::string name = HeadingName(doc.blocks, firstHeading);
            // A title page is not a chapter.
            if (started || name != book.title) {
                b.Chapter(name, navUsable ? level : doc.blocks[firstHeading].heading);
                started = true;
            }
        }
        size_t next = 0;
        for (size_t i = 0; i < doc.blocks.size(); ++i) {
            for (; next < starts.size() && starts[next].first == i; ++next) {
                const TNavEntry& e = nav[starts[next].second];
                std::string label = CollapseBlanks(w(e.label));
                if (label.empty() && doc.blocks[i].heading)
                    label = HeadingName(doc.blocks, i);
                level = e.depth;
                b.Chapter(label, level);
                started = true;
            }
            if (doc.blocks[i].heading) {
                b.Title(doc.blocks[i].text);
                continue;
            }
            b.Line(doc.blocks[i].text);
            for (const auto& [label, href] : doc.blocks[i].noteRefs) {
                std::string fragment;
                std::string path = ResolveHref(it->path, href, &fragment);
                b.NoteRef(label, path + '#' + fragment);
            }
        }
        // Entries past the last block (an anchor at the very end) start nothing.
    }
    book.chapters = b.Finish(book.title, BookFileStem(fileName));
    if (options.notes != TNoteMode::Topic)
        PlaceNotes(book.chapters, notes, options.notes, "");
    if (!pkg.description.empty()) {
        // Often HTML written as text.
        std::vector<std::string> lines;
        for (THtmlBlock& bl : HtmlBlocks(pkg.description, fileName + ": " + opfPath, w).blocks)
            lines.push_back(std::move(bl.text));
        AddAnnotation(book, lines);
    }
    book.SetReplaced(w.Count());
    return book;
}

} // namespace volm
