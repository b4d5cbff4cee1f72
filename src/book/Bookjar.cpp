#include "book/Bookjar.h"

#include "archive/Zipwriter.h"
#include "book/Datafiles.h"
#include "book/Manifest.h"
#include "common/Codepage.h"
#include "common/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <utility>

namespace volm {

namespace {

bool isTemplateManifest(const std::string& name)
{
    return sameText(name, "META-INF/MANIFEST.MF");
}

} // namespace

std::string ContinuationTitle(const std::string& nextName)
{
    return "\xBB " + nextName; // "»" in Windows-1251
}

TBookJars::TBookJars(TBookInput input, ITopicSequence& topics, const TJarSettings& settings, TPackPool& pool,
                     std::function<time_t()> clock)
    : input_(std::move(input)), topics_(topics), settings_(settings), pool_(pool), clock_(std::move(clock))
{
    if (!clock_)
        clock_ = [] { return ::time(nullptr); };
    textSizes_.assign(input_.names.size(), kUnknown);
    packedTexts_.resize(input_.names.size());
    ids_ = TopicIds(input_.names);
    if (input_.layout) {
        layoutData_.layout = *input_.layout;
        layoutData_.paragraphs = input_.paragraphs;
        layoutData_.emptyNote = EmptyNote(input_.names);
    }
    dropMarks_ = input_.layout != TReaderLayout::Words;
}

uint64_t TBookJars::TPackedText::DataSize() const
{
    uint64_t n = 0;
    for (uint64_t s : pieceSizes)
        n += s;
    return n;
}

std::vector<std::string_view> TBookJars::pieces(std::string_view text) const
{
    std::vector<std::string_view> out;
    const uint64_t count = TextPieces(layoutData_.layout, text.size());
    if (count == 1)
        return {text};
    for (uint64_t k = 0; k < count; ++k)
        out.push_back(text.substr(k * kTextPiece, kTextPiece));
    return out;
}

TPackedMember TBookJars::packSmall(const std::string& name, const std::string& bytes)
{
    return PackBytes(settings_.StoredName(name), bytes, settings_.MemberDeflateType(name), pool_.Own(),
                     settings_.Level);
}

std::vector<std::string> OwnMemberNames(const TBookInput& input)
{
    std::vector<std::string> names{"META-INF/MANIFEST.MF", "appname.txt", "files.txt", "topics.txt", "layout.txt",
                                   "texts/itm1"};
    for (const TExtractedMember& m : input.templateMembers)
        names.push_back(m.name);
    if (input.fontPng)
        names.push_back("images/Font.png");
    for (const auto& sheet : input.fontSheets)
        names.push_back(sheet.first);
    return names;
}

void TBookJars::PackShared()
{
    // The template's members in its order, ours in the places of its
    // placeholders; its manifest goes, the book's comes first.
    bool haveApp = false, haveFiles = false, haveTopics = false;
    for (const TExtractedMember& m : input_.templateMembers) {
        if (isTemplateManifest(m.name))
            continue;
        if (sameText(m.name, "appname.txt")) {
            slots_.push_back({TSlotKind::AppName});
            haveApp = true;
        } else if (sameText(m.name, "files.txt")) {
            slots_.push_back({TSlotKind::Files});
            haveFiles = true;
        } else if (sameText(m.name, "topics.txt")) {
            slots_.push_back({TSlotKind::Topics});
            haveTopics = true;
        } else if (!input_.fontSheets.empty() && sameText(m.name, "images/Font.png")) {
            for (const auto& sheet : input_.fontSheets) {
                slots_.push_back({TSlotKind::Shared, shared_.size()});
                shared_.push_back(packSmall(sheet.first, sheet.second));
            }
        } else {
            const bool font = input_.fontPng && sameText(m.name, "images/Font.png");
            slots_.push_back({TSlotKind::Shared, shared_.size()});
            shared_.push_back(packSmall(font ? "images/Font.png" : m.name, font ? *input_.fontPng : m.bytes));
        }
    }
    // A template without one of them still gets the book's.
    if (!haveApp)
        slots_.push_back({TSlotKind::AppName});
    if (!haveFiles)
        slots_.push_back({TSlotKind::Files});
    if (!haveTopics)
        slots_.push_back({TSlotKind::Topics});
    if (input_.fontPng && std::none_of(input_.templateMembers.begin(), input_.templateMembers.end(),
                                       [](const TExtractedMember& m) { return sameText(m.name, "images/Font.png"); })) {
        slots_.push_back({TSlotKind::Shared, shared_.size()});
        shared_.push_back(packSmall("images/Font.png", *input_.fontPng));
    }

    if (!input_.fontSheets.empty() &&
        std::none_of(input_.templateMembers.begin(), input_.templateMembers.end(),
                     [](const TExtractedMember& m) { return sameText(m.name, "images/Font.png"); })) {
        for (const auto& sheet : input_.fontSheets) {
            slots_.push_back({TSlotKind::Shared, shared_.size()});
            shared_.push_back(packSmall(sheet.first, sheet.second));
        }
    }

    // The user's files, read and packed on the pool, a bounded window at a
    // time; each packed one goes to the scratch file as it comes back.
    std::deque<std::string> paths; // of the jobs in flight
    for (const TUserFile& f : input_.userFiles) {
        std::string bytes;
        try {
            bytes = input_.readUserFile ? input_.readUserFile(f, kMaxUserFile) : ReadWholeFile(f.path, kMaxUserFile);
        } catch (const EFileError& e) {
            const std::string what = e.what(), prefix = "Can't read file " + f.path + ": ";
            const std::string cause = e.code() == EFBIG   ? "larger than 64 MB"
                                      : what.starts_with(prefix) ? what.substr(prefix.size())
                                                                 : systemMessage(e.code());
            throw EArchiveError(zeOpen, f.path + ": " + zipErrorMessage(zeOpen) + " (" + cause + ")");
        }
        const TDeflateType type = settings_.MemberDeflateType(f.name);
        const uint64_t n = bytes.size();
        pool_.Submit(
            [name = f.name, bytes = std::move(bytes), type, attrs = f.attributes, level = settings_.Level](TDeflater& d) mutable {
                TPackedMember m = PackBytes(name, bytes, type, d, level);
                std::string().swap(bytes);
                m.externalAttr = attrs;
                return m;
            },
            n);
        paths.push_back(f.path);
        while (pool_.Full()) {
            keepUserFile(pool_.Next(), paths.front());
            paths.pop_front();
        }
    }
    while (pool_.Pending()) {
        keepUserFile(pool_.Next(), paths.front());
        paths.pop_front();
    }
}

void TBookJars::keepUserFile(TPackedMember m, const std::string& path)
{
    if (!scratch_) {
        int fd = -1;
        if (input_.openScratch) {
            fd = input_.openScratch();
        } else {
            const char* tmp = ::getenv("TMPDIR");
            fd = OpenScratchFile(tmp && *tmp ? tmp : "/tmp", "volm-files");
        }
        scratch_.emplace(fd);
    }
    if (!WriteAll(scratch_->get(), m.data.data(), m.data.size())) {
        const int err = errno;
        const int code = err == ENOSPC || err == EFBIG || err == EDQUOT ? zeDiskFull : zeWrite;
        throw EArchiveError(code, path + ": " + zipErrorMessage(code) + " (the scratch file of the packed files: " +
                                      systemMessage(err) + ")");
    }
    TUserPacked u;
    u.offset = scratchSize_;
    u.size = m.data.size();
    scratchSize_ += u.size;
    std::string().swap(m.data);
    u.head = std::move(m);
    u.path = path;
    userPacked_.push_back(std::move(u));
}

std::optional<std::pair<std::string, uint64_t>> TBookJars::LargestUserFile() const
{
    std::optional<std::pair<std::string, uint64_t>> largest;
    for (const TUserPacked& u : userPacked_) {
        const uint64_t cost = TZipWriter::EntryCost(u.head.name.size(), u.size);
        if (!largest || cost > largest->second)
            largest = std::make_pair(u.path, cost);
    }
    return largest;
}

std::string TBookJars::Title(const TJarEntry& e) const
{
    const std::string& name = input_.names.at(e.topic);
    return e.part == 0 ? name : TitleLine(name) + " (" + std::to_string(e.part) + ")";
}

std::vector<std::string> TBookJars::ManifestLines(const TJarSpec& jarSpec) const
{
    TManifestFields f;
    f.name = jarSpec.midletName;
    f.url = input_.url;
    f.vendor = input_.vendor;
    f.description = input_.description;
    f.version = input_.version;
    return volm::ManifestLines(f);
}

std::vector<uint64_t> TBookJars::entrySizes(const TJarSpec& jarSpec) const
{
    std::vector<uint64_t> sizes;
    for (const TJarEntry& e : jarSpec.entries)
        sizes.push_back(e.part == 0 ? textSizes_.at(e.topic) : e.end - e.begin);
    return sizes;
}

void TBookJars::specMembers(const TJarSpec& jarSpec, std::vector<TPackedMember>& head,
                            std::vector<TPackedMember>& tail)
{
    head.clear();
    tail.clear();
    head.push_back(packSmall("META-INF/MANIFEST.MF", LinesText(ManifestLines(jarSpec))));
    for (const TSlot& s : slots_) {
        switch (s.kind) {
        case TSlotKind::Shared: head.push_back(shared_[s.shared]); break;
        case TSlotKind::AppName: head.push_back(packSmall("appname.txt", AppNameText(jarSpec.midletName))); break;
        case TSlotKind::Files: head.push_back(packSmall("files.txt", FilesText(jarSpec.entries.size()))); break;
        case TSlotKind::Topics: {
            std::vector<std::string> titles;
            for (const TJarEntry& e : jarSpec.entries)
                titles.push_back(Title(e));
            if (!jarSpec.next.empty())
                titles.push_back(ContinuationTitle(jarSpec.next));
            head.push_back(packSmall("topics.txt", TopicsText(titles)));
            break;
        }
        }
    }
    if (input_.layout) {
        std::vector<std::string> ids;
        for (const TJarEntry& e : jarSpec.entries)
            ids.push_back(ids_.at(e.topic));
        tail.push_back(packSmall("layout.txt", LayoutText(layoutData_, entrySizes(jarSpec), ids)));
    }
}

std::optional<uint64_t> TBookJars::PackedSize(size_t topic) const
{
    const TPackedText& p = packedTexts_.at(topic);
    if (textSizes_.at(topic) == kUnknown)
        return std::nullopt;
    return p.DataSize();
}

const std::string& TBookJars::Text(size_t topic)
{
    if (topic != lastTopic_) {
        lastText_ = ReaderText(topics_.Text(topic), dropMarks_);
        lastTopic_ = topic;
        textSizes_.at(topic) = lastText_.size();
    }
    return lastText_;
}

const TBookJars::TPackedText& TBookJars::packPart(const TJarEntry& e, bool keep)
{
    const TPartKey key{e.topic, e.begin, e.end};
    auto it = packedParts_.find(key);
    if (it != packedParts_.end() && (it->second.members || !keep))
        return it->second;
    const std::string& text = Text(e.topic);
    const TDeflateType type = settings_.MemberDeflateType("texts/itm1");
    TPackedText& p = packedParts_[key];
    p.pieceSizes.clear();
    std::vector<TPackedMember> members;
    for (std::string_view piece : pieces(std::string_view(text).substr(e.begin, e.end - e.begin))) {
        TPackedMember m = PackBytes("texts/itm", piece, type, pool_.Own(), settings_.Level);
        p.pieceSizes.push_back(m.data.size());
        if (keep)
            members.push_back(std::move(m));
    }
    if (keep)
        p.members = std::move(members);
    return p;
}

uint64_t TBookJars::PartPackedSize(const TJarEntry& e, bool keep)
{
    return packPart(e, keep).DataSize();
}

void TBookJars::ForgetPart(const TJarEntry& e)
{
    packedParts_.erase({e.topic, e.begin, e.end});
}

uint64_t TBookJars::TextCost(const TJarEntry& e, size_t number)
{
    const TPackedText& p = e.part == 0 ? packedTexts_.at(e.topic) : packPart(e, false);
    uint64_t cost = 0;
    for (size_t k = 0; k < p.pieceSizes.size(); ++k)
        cost += TZipWriter::EntryCost(TextPieceName(number, k).size(), p.pieceSizes[k]);
    // A text not packed yet counts as one empty member.
    if (p.pieceSizes.empty())
        cost += TZipWriter::EntryCost(TextEntryName(number).size(), 0);
    return cost;
}

uint64_t TBookJars::Size(const TJarSpec& jarSpec)
{
    std::vector<TPackedMember> head, tail;
    specMembers(jarSpec, head, tail);
    uint64_t size = TZipWriter::kEndCost;
    for (const TPackedMember& m : head)
        size += TZipWriter::EntryCost(m);
    for (const TPackedMember& m : tail)
        size += TZipWriter::EntryCost(m);
    for (const TUserPacked& u : userPacked_)
        size += TZipWriter::EntryCost(u.head.name.size(), u.size);
    for (size_t j = 0; j < jarSpec.entries.size(); ++j)
        size += TextCost(jarSpec.entries[j], j + 1);
    return size;
}

void TBookJars::remember(size_t topic, std::vector<TPackedMember> members)
{
    TPackedText& p = packedTexts_.at(topic);
    p.pieceSizes.clear();
    uint64_t bytes = 0;
    for (const TPackedMember& m : members) {
        p.pieceSizes.push_back(m.data.size());
        bytes += m.data.size();
    }
    if (!p.members && kept_ + bytes <= keepLimit_) {
        kept_ += bytes;
        p.members = std::move(members);
    }
}

TBookJars::TWritten TBookJars::Write(const TJarSpec& jarSpec, int fd, const std::string& archive,
                                     std::optional<uint64_t> stopAbove,
                                     const std::function<void(uint64_t, uint64_t)>& progress)
{
    TZipWriter w(fd, archive);
    TWritten r;
    bool writing = true;
    std::vector<TPackedMember> head, tail;
    specMembers(jarSpec, head, tail); // the tail is made again once the texts are read
    // Members to write: a text not read yet counts as one, its pieces are
    // added once it is read.
    uint64_t total = head.size() + tail.size() + userPacked_.size();
    for (const TJarEntry& e : jarSpec.entries) {
        const uint64_t size = e.part != 0 ? e.end - e.begin : textSizes_.at(e.topic);
        total += size == kUnknown ? 1 : TextPieces(layoutData_.layout, size);
    }
    auto counted = [&] {
        ++r.members;
        if (progress)
            progress(static_cast<uint64_t>(r.members), total);
        if (stopAbove && w.Size() > *stopAbove)
            writing = false;
    };
    auto out = [&](const TPackedMember& m) {
        if (!writing)
            return;
        w.Add(m, toDosDateTime(clock_()));
        ++r.members;
        if (progress)
            progress(static_cast<uint64_t>(r.members), total);
        if (stopAbove && w.Size() > *stopAbove)
            writing = false;
    };
    for (const TPackedMember& m : head)
        out(m);

    // The texts: read here in order, packed on the pool (each piece on its
    // own), written in order.
    struct TInFlight {
        const TJarEntry* entry;
        size_t piece, pieces;
    };
    std::deque<TInFlight> inFlight;
    std::vector<TPackedMember> done; // the pieces of the text taken so far
    auto take = [&] {
        TPackedMember m = pool_.Next();
        const TInFlight f = inFlight.front();
        inFlight.pop_front();
        out(m);
        if (f.entry->part != 0)
            return;
        done.push_back(std::move(m));
        if (f.piece + 1 == f.pieces) {
            remember(f.entry->topic, std::move(done));
            done.clear();
        }
    };
    const TDeflateType type = settings_.MemberDeflateType("texts/itm1");
    for (size_t j = 0; j < jarSpec.entries.size(); ++j) {
        const TJarEntry& e = jarSpec.entries[j];
        const std::vector<TPackedMember>* ready = nullptr;
        if (e.part == 0 && packedTexts_.at(e.topic).members)
            ready = &*packedTexts_[e.topic].members;
        else if (e.part != 0) {
            auto it = packedParts_.find({e.topic, e.begin, e.end});
            if (it != packedParts_.end() && it->second.members)
                ready = &*it->second.members;
        }
        if (ready) {
            for (size_t k = 0; k < ready->size(); ++k) {
                pool_.Submit([m = &(*ready)[k], name = TextPieceName(j + 1, k)](TDeflater&) {
                    TPackedMember copy = *m;
                    copy.name = name;
                    return copy;
                }, 0);
                inFlight.push_back({&e, k, ready->size()});
                while (pool_.Full())
                    take();
            }
            continue;
        }
        std::string text;
        if (e.part == 0) {
            if (e.topic == lastTopic_)
                text = lastText_;
            else
                text = ReaderText(topics_.Text(e.topic), dropMarks_);
            if (textSizes_.at(e.topic) == kUnknown)
                total += TextPieces(layoutData_.layout, text.size()) - 1;
            textSizes_.at(e.topic) = text.size();
        } else {
            text = Text(e.topic).substr(e.begin, e.end - e.begin);
        }
        const std::vector<std::string_view> parts = pieces(text);
        for (size_t k = 0; k < parts.size(); ++k) {
            std::string piece(parts[k]);
            const uint64_t n = piece.size();
            pool_.Submit([name = TextPieceName(j + 1, k), piece = std::move(piece), type,
                          level = settings_.Level](TDeflater& d) {
                return PackBytes(name, piece, type, d, level);
            }, n);
            inFlight.push_back({&e, k, parts.size()});
            while (pool_.Full())
                take();
        }
    }
    while (pool_.Pending())
        take();

    specMembers(jarSpec, head, tail); // layout.txt needs the sizes of the texts just read
    for (const TPackedMember& m : tail)
        out(m);
    // The user's files, copied from the scratch file.
    for (const TUserPacked& u : userPacked_) {
        if (!writing)
            break;
        w.AddFrom(u.head, u.size, scratch_->get(), u.offset, u.path, toDosDateTime(clock_()));
        counted();
    }
    if (writing) {
        w.Finish();
        r.complete = !stopAbove || w.Size() <= *stopAbove;
    }
    r.size = w.Size();
    return r;
}

} // namespace volm
