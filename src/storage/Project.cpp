#include "storage/Project.h"

#include "common/Codepage.h"
#include "common/Errors.h"
#include "common/Fileio.h"
#include "storage/Cfbfile.h"
#include "storage/Fontrecord.h"
#include "storage/Pack.h"

#include <algorithm>
#include <cerrno>
#include <exception>
#include <sys/stat.h>
#include <unistd.h>

namespace volm {
namespace {

constexpr uint32_t kOpenMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;                 // 0x12
constexpr uint32_t kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE; // 0x1012
constexpr uint32_t kReadMode = STGM_READ;                                              // shared lock
constexpr int32_t kFirstTopicNumber = 100;                                             // counter start
const char* const kFontStream = "0";
const char* const kLayoutStream = "Layout";
const char* const kParagraphsStream = "Paragraphs";
const char* const kSizesStream = "Sizes";
const char* const kHyphensStream = "Hyphens";
// Longer than any layout or paragraphs word: a stream this long is not one of ours.
constexpr size_t kLayoutStreamMax = 64;
const char* const kBuildsStream = "Builds";
const char* const kTitleStream = "Title";
const char* const kFolderStream = "Folder";
constexpr size_t kBuildsStreamMax = 19; // decimal digits of the count

// Rethrows `e` with `context` in front, keeping the storage error's status.
[[noreturn]] void rethrowWith(const std::string& context, const std::exception& e)
{
    std::string msg = e.what();
    // The engine's messages already name the file; don't say it twice.
    std::string full = msg.find(context) == 0 ? msg : context + ": " + msg;
    if (auto* se = dynamic_cast<const EStorageError*>(&e))
        throw EStorageError(se->status(), full);
    throw Error(full);
}

// A new project file appears whole or not at all: its first content (an
// empty compound file holding the layout stream) is made in memory, written
// under a temporary name beside it and put in place in one step, never over
// a file that appeared meanwhile. A process killed on the way leaves no file
// of that name (at most the temporary one, which the next pack removes).
void createProjectFile(const std::string& path, TReaderLayout layout)
{
    auto io = std::make_unique<cfb::MemoryFile>();
    const cfb::MemoryFile& memory = *io;
    std::string content;
    {
        auto file = cfb::CompoundFile::create(std::move(io), path);
        file->createStreamWith(u"Layout", LayoutName(layout));
        content = memory.bytes();
    }
    TSafeWriteOptions options;
    options.replace = false;
    WriteFileSafely(path, content, options);
}

// The word a layout or paragraphs stream holds; raises for a stream too
// long to be one.
// A short stream's bytes whole; one longer than `max` is not the program's.
std::string readWord(TComponoundDocument& doc, const std::string& name, uint64_t max = kLayoutStreamMax)
{
    TDocStream s;
    doc.OpenStream(s, name, kOpenMode);
    TStream& st = *s.Stream();
    if (st.Size() > max)
        throw Error("too long");
    std::string word(st.Size(), '\0');
    st.SetPosition(0);
    st.ReadBuffer(word.data(), word.size());
    return word;
}

} // namespace

bool ParseStorageNumber(const std::string& name, int32_t& number)
{
    size_t i = 0;
    bool negative = false;
    if (i < name.size() && (name[i] == '+' || name[i] == '-'))
        negative = name[i++] == '-';
    if (i == name.size())
        return false;
    int64_t v = 0;
    for (; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
        v = v * 10 + (name[i] - '0');
        if (v > int64_t(INT32_MAX) + 1)
            return false;
    }
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    number = static_cast<int32_t>(v);
    return true;
}

TProject::TProject() = default;

TProject::~TProject()
{
    try {
        CloseProject();
    } catch (...) {
    }
}

void TProject::requireOpen() const
{
    if (!doc_)
        throw Error("No project is open");
}

void TProject::fail(const std::string& what, const std::exception& e) const
{
    rethrowWith(what.empty() ? path_ : path_ + ": " + what, e);
}

void TProject::Open(const std::string& path, TOpenMode mode)
{
    if (doc_)
        throw Error(path + ": a project (" + path_ + ") is already open here");
    struct stat st;
    bool exists = ::stat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT)
        throw Error(path + ": " + systemMessage(errno));
    if (!exists && (mode == omOpenExisting || mode == omReadOnly))
        throw Error(path + ": no such project file");
    if (exists && mode == omCreateNew)
        throw Error(path + ": the file already exists");
    if (exists && S_ISDIR(st.st_mode))
        throw Error(path + ": is a folder, not a project file");

    // A new project reads in the words layout. (Its failure names the file.)
    if (!exists)
        createProjectFile(path, TReaderLayout::Words);
    std::unique_ptr<TComponoundDocument> doc;
    std::list<TDocElem> elements;
    try {
        doc = std::make_unique<TComponoundDocument>(path, mode == omReadOnly ? kReadMode : kOpenMode);
        doc->EnumElements(elements);
    } catch (const EStorageError& e) {
        // An existing file that is not a compound file is refused as it is.
        if (exists && (e.status() == STG_E_FILEALREADYEXISTS ||
                       (mode == omReadOnly && e.status() == STG_E_INVALIDHEADER)))
            throw EStorageError(e.status(), path + ": not a project file (not a compound file); left as it is");
        rethrowWith(path, e);
    } catch (const std::exception& e) {
        rethrowWith(path, e);
    }

    std::vector<TTopicNode> topics;
    std::vector<std::string> skipped;
    int32_t counter = kFirstTopicNumber;
    TFontSettings font;
    std::optional<TReaderLayout> layout;
    std::optional<TParagraphStyle> paragraphs;
    std::optional<std::string> sizes;
    std::optional<bool> hyphens;
    uint64_t builds = 0;
    std::string title;
    std::string folder;

    struct Candidate {
        int32_t number;
        const TDocElem* elem;
    };
    std::vector<Candidate> candidates;
    for (const TDocElem& e : elements) {
        int32_t n;
        if (e.name == kSizesStream || e.name == kHyphensStream) {
            try {
                const std::string word = readWord(*doc, e.name);
                if (e.name == kSizesStream) {
                    if (word.empty() || word.find_first_not_of("0123456789, ") != std::string::npos)
                        throw Error("not sizes");
                    sizes = word;
                } else if (word == "on" || word == "off") {
                    hyphens = word == "on";
                } else {
                    throw Error("not on or off");
                }
            } catch (...) {
                skipped.push_back(e.name); // perhaps a later version's: left as it is
            }
            continue;
        }
        if (e.name == kLayoutStream || e.name == kParagraphsStream) {
            try {
                const std::string word = readWord(*doc, e.name);
                if (e.name == kLayoutStream) {
                    TReaderLayout l;
                    if (!ParseLayoutName(word, l))
                        throw Error("unknown layout");
                    layout = l;
                } else {
                    TParagraphStyle style;
                    if (!ParseParagraphsName(word, style))
                        throw Error("unknown paragraph style");
                    paragraphs = style;
                }
            } catch (...) {
                skipped.push_back(e.name); // perhaps a later version's: left as it is
            }
            continue;
        }
        if (e.name == kTitleStream || e.name == kFolderStream) {
            try {
                const bool isTitle = e.name == kTitleStream;
                std::string text = readWord(*doc, e.name, isTitle ? kTitleMax : kFolderMax);
                if (!(isTitle ? TitleFault(text) : OutputFolderFault(text)).empty())
                    throw Error("not a title or a folder");
                (isTitle ? title : folder) = std::move(text);
            } catch (...) {
                skipped.push_back(e.name);
            }
            continue;
        }
        if (e.name == kBuildsStream) {
            try {
                const std::string digits = readWord(*doc, e.name, kBuildsStreamMax);
                if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
                    throw Error("not a count");
                builds = std::stoull(digits);
            } catch (...) {
                skipped.push_back(e.name);
            }
            continue;
        }
        if (!ParseStorageNumber(e.name, n))
            continue; // not the program's: left alone
        if (n == 0) {
            try {
                TDocStream s;
                doc->OpenStream(s, e.name, kOpenMode);
                TFontSettings read = font;
                ReadFontSettings(*s.Stream(), read);
                font = read;
            } catch (...) {
                skipped.push_back(e.name);
            }
        } else if (n >= kFirstTopicNumber) {
            counter = std::max(counter, n); // counts even when the topic can't be loaded
            candidates.push_back({n, &e});
        }
    }
    // The container lists shorter names first, which for plain decimal numbers
    // is numeric order; sort anyway so any container order (or a leading zero) works.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.number < b.number; });
    topics.reserve(candidates.size());
    for (const Candidate& c : candidates) {
        try {
            auto holder = std::make_unique<TDocStream>();
            doc->OpenStream(*holder, c.elem->name, kOpenMode);
            auto item = std::make_unique<TJSDataItem>(std::move(holder));
            item->Key = c.elem->name;
            TTopicNode node;
            node.Name = item->GetName();
            node.Item = std::move(item);
            node.Number = c.number;
            topics.push_back(std::move(node));
        } catch (...) {
            skipped.push_back(c.elem->name); // left as it is in the file
        }
    }

    doc_ = std::move(doc);
    topics_ = std::move(topics);
    skipped_ = std::move(skipped);
    counter_ = counter;
    font_ = font;
    layout_ = layout;
    paragraphs_ = paragraphs;
    sizes_ = sizes;
    hyphens_ = hyphens;
    builds_ = builds;
    title_ = std::move(title);
    folder_ = std::move(folder);
    path_ = path;
    readOnly_ = mode == omReadOnly;
}

std::string TProject::OpenWritableOrReadOnly(const std::string& path)
{
    std::string cause;
    try {
        Open(path, omOpenOrCreate);
        return {};
    } catch (const std::exception& e) {
        struct stat st;
        if (doc_ || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            throw;
        const auto* se = dynamic_cast<const EStorageError*>(&e);
        const int denied = ::access(path.c_str(), W_OK) == 0 ? 0 : errno;
        if (denied == EACCES || denied == EROFS || denied == EPERM) {
            cause = path + ": the file can't be written (" + systemMessage(denied) + ")";
        } else if (se && se->status() == STG_E_DOCFILECORRUPT) {
            cause = e.what();
            if (cause.find(path) != 0)
                cause = path + ": " + cause;
        } else {
            throw;
        }
        const std::exception_ptr first = std::current_exception();
        try {
            Open(path, omReadOnly);
        } catch (const std::exception&) {
            std::rethrow_exception(first); // not readable either: the first failure says why
        }
    }
    return cause;
}

bool TProject::HoldsProject(const std::string& path) const
{
    return doc_ && path_ == path;
}

const TTopicNode& TProject::Topic(size_t index) const
{
    if (index >= topics_.size())
        throw Error(path_ + ": there is no topic " + std::to_string(index + 1) + " (the project has " +
                    std::to_string(topics_.size()) + ")");
    return topics_[index];
}

size_t TProject::AddTopic(const std::string& name)
{
    requireOpen();
    if (counter_ == INT32_MAX)
        throw Error(path_ + ": no storage number is left for a new topic");
    const int32_t number = ++counter_; // never handed out twice while open
    const std::string key = std::to_string(number);
    std::unique_ptr<TJSDataItem> item;
    try {
        // Header, name and reserved block land with the stream itself.
        auto holder = std::make_unique<TDocStream>();
        doc_->CreateStream(*holder, key, TJSDataItem::NewTopicContent(name));
        item = std::make_unique<TJSDataItem>(std::move(holder));
        item->Key = key;
    } catch (const std::exception& e) {
        fail("can't add a topic", e);
    }
    TTopicNode node;
    node.Name = name;
    node.Item = std::move(item);
    node.Number = number;
    topics_.push_back(std::move(node));
    return topics_.size() - 1;
}

std::vector<size_t> TProject::AppendTopics(const std::vector<TNewTopic>& topics, const std::string& title)
{
    requireOpen();
    if (!title.empty())
        if (std::string fault = TitleFault(title); !fault.empty())
            throw Error(path_ + ": can't store the title: " + fault);
    if (topics.size() > static_cast<size_t>(INT32_MAX - counter_))
        throw Error(path_ + ": no storage numbers are left for " + std::to_string(topics.size()) + " new topics");
    const std::string adding = kAddingPrefix;
    std::vector<std::unique_ptr<TDocStream>> holders;
    std::vector<std::pair<std::string, std::string>> renames;
    bool renamed = false;
    try {
        std::list<TDocElem> elements;
        doc_->EnumElements(elements);
        bool titleTaken = false;
        for (const TDocElem& e : elements) {
            if (e.name.rfind(adding, 0) == 0)
                doc_->DestroyElement(e.name); // an append cut short left it
            titleTaken |= e.name == kTitleStream;
        }
        int32_t number = counter_;
        for (const TNewTopic& t : topics) {
            const std::string key = std::to_string(++number);
            auto holder = std::make_unique<TDocStream>();
            doc_->CreateStream(*holder, adding + key, TJSDataItem::TopicContent(t.name, t.text));
            holders.push_back(std::move(holder));
            renames.emplace_back(adding + key, key);
        }
        const bool withTitle = !title.empty() && !titleTaken;
        if (withTitle) {
            TDocStream s;
            doc_->CreateStream(s, adding + kTitleStream, title);
            s.Close();
            renames.emplace_back(adding + kTitleStream, kTitleStream);
        }
        doc_->Commit();
        doc_->RenameElements(renames); // its last write makes every one of them live
        renamed = true;
        std::vector<size_t> added;
        for (size_t i = 0; i < topics.size(); ++i) {
            auto item = std::make_unique<TJSDataItem>(std::move(holders[i]));
            item->Key = renames[i].second;
            TTopicNode node;
            node.Name = topics[i].name;
            node.Item = std::move(item);
            node.Number = ++counter_;
            topics_.push_back(std::move(node));
            added.push_back(topics_.size() - 1);
        }
        if (withTitle)
            title_ = title;
        doc_->Flush();
        return added;
    } catch (const std::exception& e) {
        if (!renamed) {
            // Nothing is listed; the streams written so far go again where
            // the file still takes changes (else the next append removes them).
            holders.clear();
            for (const auto& r : renames) {
                try {
                    doc_->DestroyElement(r.first);
                } catch (...) {
                    break;
                }
            }
        }
        fail("can't append " + std::to_string(topics.size()) + " topics", e);
    }
}

void TProject::DeleteTopic(size_t index)
{
    requireOpen();
    Topic(index); // range check
    const std::string key = topics_[index].Item->Key;
    topics_.erase(topics_.begin() + static_cast<ptrdiff_t>(index)); // closes the topic's stream
    try {
        doc_->DestroyElement(key);
        doc_->Commit();
    } catch (const std::exception& e) {
        fail("can't delete topic " + key, e);
    }
}

void TProject::RenameTopic(size_t index, const std::string& name)
{
    requireOpen();
    Topic(index); // range check
    TTopicNode& t = topics_[index];
    try {
        t.Item->SetName(name);
    } catch (const std::exception& e) {
        fail("", e);
    }
    t.Name = name;
}

void TProject::MoveTopic(size_t from, size_t to)
{
    requireOpen();
    Topic(from); // range checks
    Topic(to);
    if (from == to)
        return;
    const size_t lo = std::min(from, to), hi = std::max(from, to);
    // order[k]: the topic that ends up at lo + k; it takes the k-th number.
    std::vector<size_t> order;
    std::vector<int32_t> numbers;
    for (size_t i = lo; i <= hi; ++i) {
        order.push_back(i);
        numbers.push_back(topics_[i].Number);
    }
    if (from < to)
        std::rotate(order.begin(), order.begin() + 1, order.end());
    else
        std::rotate(order.begin(), order.end() - 1, order.end());
    std::vector<std::pair<std::string, std::string>> renames;
    for (size_t k = 0; k < order.size(); ++k) {
        const TTopicNode& t = topics_[order[k]];
        const std::string key = std::to_string(numbers[k]);
        if (t.Item->Key != key)
            renames.emplace_back(t.Item->Key, key);
    }
    try {
        doc_->RenameElements(renames);
    } catch (const std::exception& e) {
        fail("can't move topic " + topics_[from].Item->Key, e);
    }
    for (size_t k = 0; k < order.size(); ++k) {
        TTopicNode& t = topics_[order[k]];
        t.Number = numbers[k];
        t.Item->Key = std::to_string(numbers[k]);
    }
    if (from < to)
        std::rotate(topics_.begin() + static_cast<ptrdiff_t>(lo), topics_.begin() + static_cast<ptrdiff_t>(lo) + 1,
                    topics_.begin() + static_cast<ptrdiff_t>(hi) + 1);
    else
        std::rotate(topics_.begin() + static_cast<ptrdiff_t>(lo), topics_.begin() + static_cast<ptrdiff_t>(hi),
                    topics_.begin() + static_cast<ptrdiff_t>(hi) + 1);
    try {
        doc_->Commit();
    } catch (const std::exception& e) {
        fail("can't move topic", e);
    }
}

void TProject::CommitText(size_t index, const std::string& text)
{
    requireOpen();
    TJSDataItem& item = Item(index);
    try {
        item.SetText(text);
    } catch (const std::exception& e) {
        fail("", e);
    }
}

std::string TProject::GetText(size_t index) const
{
    requireOpen();
    try {
        return Item(index).GetText();
    } catch (const std::exception& e) {
        fail("can't read topic " + Item(index).Key, e);
    }
}

// Stream "0" is rewritten in place rather than recreated empty first: the
// stream is first grown to the new length (the only step that needs new
// space), then overwritten and cut to size, so running out of space leaves
// the earlier settings readable.
void TProject::SaveFontSettings(const TFontSettings& settings)
{
    requireOpen();
    TMemoryStream image;
    WriteFontSettings(image, settings);
    const std::string& bytes = image.Data();
    try {
        TDocStream s;
        bool have = false;
        try {
            doc_->OpenStream(s, kFontStream, kOpenMode);
            have = true;
        } catch (const EStorageError&) {
        }
        if (!have)
            doc_->CreateStream(s, kFontStream, kCreateMode);
        TStream& st = *s.Stream();
        if (st.Size() < bytes.size())
            st.SetSize(bytes.size());
        st.SetPosition(0);
        st.WriteBuffer(bytes.data(), bytes.size());
        st.SetSize(bytes.size());
        s.Close();
    } catch (const std::exception& e) {
        fail("can't store the font settings", e);
    }
    font_ = settings;
}

void TProject::saveWord(const char* stream, const std::string& word, const char* what)
{
    requireOpen();
    try {
        TDocStream s;
        doc_->CreateStream(s, stream, kCreateMode);
        TStream& st = *s.Stream();
        st.WriteBuffer(word.data(), word.size());
        s.Close();
        doc_->Commit();
    } catch (const std::exception& e) {
        fail(what, e);
    }
}

void TProject::SaveLayout(TReaderLayout layout)
{
    saveWord(kLayoutStream, LayoutName(layout), "can't store the layout");
    layout_ = layout;
}

void TProject::SaveParagraphs(TParagraphStyle style)
{
    saveWord(kParagraphsStream, ParagraphsName(style), "can't store the paragraph style");
    paragraphs_ = style;
}

void TProject::SaveSheetSizes(const std::string& sizes)
{
    saveWord(kSizesStream, sizes, "can't store the font sizes");
    sizes_ = sizes;
}

void TProject::SaveHyphens(bool on)
{
    saveWord(kHyphensStream, on ? "on" : "off", "can't store the hyphens switch");
    hyphens_ = on;
}

namespace {

// True when `text` holds a line end or another control character.
bool holdsControlCharacter(const std::string& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

} // namespace

std::string TitleFault(const std::string& title)
{
    if (title.empty())
        return "the title is empty";
    if (title.size() > kTitleMax)
        return "the title is longer than " + std::to_string(kTitleMax) + " bytes";
    if (holdsControlCharacter(title))
        return "the title holds a line end or a control character";
    if (!isValidUtf8(title))
        return "the title is not UTF-8 text";
    return {};
}

void TProject::SaveTitle(const std::string& title)
{
    if (std::string fault = TitleFault(title); !fault.empty())
        throw Error(path_ + ": can't store the title: " + fault);
    saveWord(kTitleStream, title, "can't store the title");
    title_ = title;
}

std::string OutputFolderFault(const std::string& folder)
{
    if (folder.empty() || folder[0] != '/')
        return "the folder is not an absolute path";
    if (folder.size() > kFolderMax)
        return "the folder's path is longer than " + std::to_string(kFolderMax) + " bytes";
    if (holdsControlCharacter(folder))
        return "the folder's path holds a line end or a control character";
    return {};
}

void TProject::SaveOutputFolder(const std::string& folder)
{
    if (std::string fault = OutputFolderFault(folder); !fault.empty())
        throw Error(path_ + ": can't store the folder " + folder + ": " + fault);
    saveWord(kFolderStream, folder, "can't store the folder the book is built in");
    folder_ = folder;
}

void TProject::SaveBuildCount(uint64_t count)
{
    requireOpen();
    const std::string digits = std::to_string(count);
    try {
        TDocStream s;
        doc_->CreateStream(s, kBuildsStream, kCreateMode);
        TStream& st = *s.Stream();
        st.WriteBuffer(digits.data(), digits.size());
        s.Close();
        doc_->Commit();
    } catch (const std::exception& e) {
        fail("can't store the build counter", e);
    }
    builds_ = count;
}

void TProject::CloseProject()
{
    if (!doc_)
        return;
    topics_.clear(); // each item commits and closes its stream
    skipped_.clear();
    std::unique_ptr<TComponoundDocument> doc = std::move(doc_);
    std::string path = path_;
    path_.clear();
    counter_ = kFirstTopicNumber;
    font_ = TFontSettings();
    layout_.reset();
    paragraphs_.reset();
    sizes_.reset();
    hyphens_.reset();
    builds_ = 0;
    title_.clear();
    folder_.clear();
    try {
        doc->Commit();
    } catch (const std::exception& e) {
        doc.reset();
        rethrowWith(path, e);
    }
    doc.reset();
}

void TProject::Pack()
{
    requireOpen();
    const std::string path = path_;
    std::string failure;
    try {
        CloseProject();
        PackProject(path);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    if (!doc_)
        Open(path, omOpenExisting);
    if (!failure.empty())
        throw Error(failure);
}

} // namespace volm
