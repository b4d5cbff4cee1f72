#pragma once
// The jars of a book, assembled in memory: the reader template's members, the
// book's manifest, its data files and topic texts, and the files the user put
// into the book folder, packed (on all cores) and written as one archive. A
// book is one jar, or several volumes when it does not fit a jar budget; a
// TJarSpec says which topics (or parts of a topic) one jar holds.
//
// Members, in this order: META-INF/MANIFEST.MF first (so that readers of a
// jar as a stream, java.util.jar.JarInputStream and phone installers, find
// it), then the template's members in the template's order with the book's
// appname.txt, files.txt and topics.txt (and the custom font's
// images/Font.png, or the words layout's images/Font1.png, images/Font1.map
// ...) in the places of the template's, then texts/itm1 ...
// texts/itmN (a long text of the words layout followed by its pieces
// texts/itmN_1, texts/itmN_2, ...), then layout.txt when the book has a
// layout, then the user's files in the order of the folder listing. No
// folder entries.
//
// Size() tells the exact size in bytes a jar will have before it is written:
// volumes are planned on it, and Write() writes exactly that.

#include "archive/Deflate.h"
#include "archive/Packpool.h"
#include "archive/Unzip.h"
#include "book/Bookfolder.h"
#include "book/Datafiles.h"
#include "common/Fd.h"
#include "common/Fileio.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace volm {

// One menu entry of a jar: a whole topic (part 0), or part k (1, 2, ...) of
// a topic split over volumes, the bytes [begin, end) of its reader text.
struct TJarEntry {
    size_t topic = 0;      // 0-based position in the book
    unsigned part = 0;
    uint64_t begin = 0, end = 0;
};

// One jar of a book.
struct TJarSpec {
    std::string midletName;          // MIDlet-Name and appname.txt ("Tales", "Tales 2")
    std::string fileName;            // the jar's and jad's name without extension ("Tales", "Tales-2")
    std::vector<TJarEntry> entries;
    std::string next;                // the next volume's MIDlet-Name, drawn as the menu's last entry; "" for none
};

// The menu entry that says where a book continues ("» Tales 2" in Windows-1251).
std::string ContinuationTitle(const std::string& nextName);

// What every jar of a book is made of.
struct TBookInput {
    std::vector<TExtractedMember> templateMembers;   // in the template's order
    std::optional<std::string> fontPng;              // the custom font's image, when it is on
    // The words layout's font (Fontsheet.h): name and bytes of images/Font1.png,
    // images/Font1.map, ...; when there are any they take the place of the
    // template's images/Font.png, which the jar then lacks.
    std::vector<std::pair<std::string, std::string>> fontSheets;
    std::string url, vendor, description;            // for the manifest
    std::string version = "1.0.1";                   // MIDlet-Version (MidletVersion of the build)
    std::optional<TReaderLayout> layout;
    TParagraphStyle paragraphs = TParagraphStyle::Indent;
    std::vector<std::string> names;                  // topic names in book order
    std::vector<TUserFile> userFiles;                // the user's files in the book folder
    // Reads a user's file (TBookFolder::ReadUserFile); ReadWholeFile of its
    // path when empty.
    std::function<std::string(const TUserFile&, uint64_t)> readUserFile;
    // Opens the scratch file the user's files are kept in once packed
    // (OpenScratchFile); in the system's folder for temporary files when
    // empty. The caller's descriptor is taken over.
    std::function<int()> openScratch;
};

// The largest user's file a jar holds is at most this large.
inline constexpr uint64_t kMaxUserFile = 64u << 20;

// The names of a jar's own members (all but the user's files; texts/itm1
// stands for the topic texts), for telling which of the user's files would
// clash with them. The user's files of `input` are not looked at.
std::vector<std::string> OwnMemberNames(const TBookInput& input);

class TBookJars {
public:
    // Every member is packed as `settings` say (deflate type, stored
    // extensions, name translation); `clock` dates the entries.
    TBookJars(TBookInput input, ITopicSequence& topics, const TJarSettings& settings, TPackPool& pool,
              std::function<time_t()> clock);

    // Packs the members every jar shares. The user's files are read and
    // packed here, a bounded window of them at a time, and their packed
    // bytes are kept in the scratch file, not in memory, until a jar is
    // written; one that can't be read raises EArchiveError 25235 naming it.
    void PackShared();

    // The user's file that costs a jar the most bytes (headers and name
    // included): its path and cost; none without user's files.
    std::optional<std::pair<std::string, uint64_t>> LargestUserFile() const;

    // The reader text of a topic (CR bytes removed), read through the topic
    // sequence; the last one read is kept.
    const std::string& Text(size_t topic);
    // The size of a topic's reader text; known once the topic was read.
    uint64_t TextSize(size_t topic) const { return textSizes_.at(topic); }
    // The packed size of a whole topic's text (all its pieces); known once a
    // jar holding it was written (or measured).
    std::optional<uint64_t> PackedSize(size_t topic) const;
    // What an entry's text members cost in a jar as its text number `number`
    // (data, headers and names of every piece); a part is packed when needed.
    uint64_t TextCost(const TJarEntry& e, size_t number);
    // The packed size of a part, packing it when needed; `keep` keeps the
    // packed bytes for writing.
    uint64_t PartPackedSize(const TJarEntry& e, bool keep);
    void ForgetPart(const TJarEntry& e);

    // Keep the packed texts of topics written (up to a limit in bytes), so
    // that volumes need not pack them again.
    void KeepPackedTexts(uint64_t limitBytes) { keepLimit_ = limitBytes; }

    // The exact size of a jar, every text it holds packed or measured.
    uint64_t Size(const TJarSpec& jarSpec);

    // The manifest lines of a jar.
    std::vector<std::string> ManifestLines(const TJarSpec& jarSpec) const;

    struct TWritten {
        bool complete = false;   // false: stopped once the archive grew over `stopAbove`
        uint64_t size = 0;
        int members = 0;
    };
    // Writes a jar to `fd` (named `archive` in messages). The topic texts are
    // read (through the topic sequence, on this thread) and packed on the
    // pool; their sizes are recorded. With `stopAbove`, writing stops once
    // the archive is larger, but every text is still packed and measured.
    // `progress(done, total)` counts members written.
    TWritten Write(const TJarSpec& jarSpec, int fd, const std::string& archive,
                   std::optional<uint64_t> stopAbove, const std::function<void(uint64_t, uint64_t)>& progress);

    size_t TopicCount() const { return textSizes_.size(); }
    const std::string& Name(size_t topic) const { return input_.names.at(topic); }
    // The topic's stable id in layout.txt.
    const std::string& Id(size_t topic) const { return ids_.at(topic); }
    // The title of an entry in the menu ("Name", or "Name (2)" for a part).
    std::string Title(const TJarEntry& e) const;

private:
    static constexpr uint64_t kUnknown = ~uint64_t(0);
    enum class TSlotKind { Shared, AppName, Files, Topics };
    struct TSlot {
        TSlotKind kind;
        size_t shared = 0;   // index into shared_
    };
    using TPartKey = std::tuple<size_t, uint64_t, uint64_t>;
    struct TPackedText {
        std::vector<uint64_t> pieceSizes;               // packed data size of each piece
        std::optional<std::vector<TPackedMember>> members;   // kept for writing
        uint64_t DataSize() const;
    };
    // The text's members of an entry, each a piece of its text.
    std::vector<std::string_view> pieces(std::string_view text) const;

    TPackedMember packSmall(const std::string& name, const std::string& bytes);
    // The members of a jar that are not topic texts, before and after them.
    void specMembers(const TJarSpec& jarSpec, std::vector<TPackedMember>& head, std::vector<TPackedMember>& tail);
    std::vector<uint64_t> entrySizes(const TJarSpec& jarSpec) const;
    void remember(size_t topic, std::vector<TPackedMember> members);
    const TPackedText& packPart(const TJarEntry& e, bool keep);

    TBookInput input_;
    ITopicSequence& topics_;
    const TJarSettings settings_;
    TPackPool& pool_;
    std::function<time_t()> clock_;

    std::vector<TPackedMember> shared_;      // template members (ours), font, in slot order
    std::vector<TSlot> slots_;               // the template's order
    // A user's file packed: its headers' fields, and where its packed bytes
    // lie in the scratch file.
    struct TUserPacked {
        TPackedMember head;   // data empty
        std::string path;
        uint64_t offset = 0, size = 0;
    };
    void keepUserFile(TPackedMember m, const std::string& path);
    std::vector<TUserPacked> userPacked_;
    std::optional<TFd> scratch_;
    uint64_t scratchSize_ = 0;
    std::vector<uint64_t> textSizes_;
    std::vector<std::string> ids_;           // the topics' stable ids
    TLayoutData layoutData_;
    bool dropMarks_ = true;                  // the heading marks, but in the words layout
    std::vector<TPackedText> packedTexts_;   // whole topics
    std::map<TPartKey, TPackedText> packedParts_;
    uint64_t keepLimit_ = 0, kept_ = 0;
    size_t lastTopic_ = ~size_t(0);
    std::string lastText_;
};

} // namespace volm
