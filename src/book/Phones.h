#pragma once
// Phone families: the limits a book's jar must keep on a phone of the family
// (its jar limit, Java heap and free record-store space) and the canvas sizes
// the reader draws on there. The table is the program's resource "TEXT" 103
// (resources/phones.tsv): tab-separated rows of id, name, jar, heap, store,
// canvases and the source of the figures; lines starting with '#' and the
// header row ("id" first) are skipped. An empty heap or store: no figure.
//
// A built jar is measured against a family (MeasureJar, PhoneReport):
//
//   heap  = the decoded images (every images/*.png of the jar, 2 bytes a
//           pixel, from each PNG's IHDR width x height)
//         + the reader's text buffers: 4096 + 4 x (rows + 2) x (cols + 1)
//           for the largest canvas of the family, rows and cols being the
//           canvas height and width over the font's cell (images/Font.png's
//           width / 16; for the words layout's fonts, images/FontN.map, the
//           smallest line height H high and H / 2 wide)
//         + the menu: the bytes of topics.txt and layout.txt
//         + 30 KB for the reader's classes and the VM's own
//     against the family's heap less a margin of 10 % (kHeapMarginPercent)
//     for what the phone's own software keeps;
//   store = 20 bytes a topic for up to 20 topics' places + 5 bookmarks x 30
//           bytes + 50 for the record store's own records.
//
// The jar limit is a hard one (the build makes volumes within it, or refuses
// the book); heap and store are estimates: a book over them is built with a
// warning naming the figures.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace volm {

inline constexpr const char* kPhonesResourceType = "TEXT";
inline constexpr int kPhonesResourceId = 103;
inline constexpr uint64_t kHeapMarginPercent = 10;
inline constexpr uint64_t kReaderClassesHeap = 30 * 1024;

struct TCanvasSize {
    int width = 0;
    int height = 0;
};

struct TPhoneProfile {
    std::string id;
    std::string name;
    uint64_t jar = 0;
    uint64_t heap = 0;    // 0: no figure
    uint64_t store = 0;   // 0: no figure
    std::vector<TCanvasSize> canvases;
    std::string source;
};

// Parses the table's text; a row with a missing field, a size that is not a
// number, a canvas that is not WIDTHxHEIGHT, no source or a repeated id
// raises volm::Error naming `origin`, the line and the field.
std::vector<TPhoneProfile> ParsePhoneTable(std::string_view text, const std::string& origin);

// The compiled-in table, parsed once.
const std::vector<TPhoneProfile>& PhoneProfiles();

// The family a user means: an exact id or name, else the one family whose id
// starts with `query`, or whose name does from one of its words on ("Series
// 40 1st", "T610"; letter case aside). Raises volm::Error listing
// the candidates when none or several match.
const TPhoneProfile& FindPhone(std::string_view query);
// The same, or nullptr when `id` names no family (a stored choice).
const TPhoneProfile* PhoneById(std::string_view id);

// The words layout's two font sizes suited to a family's screens: the smaller
// one for its narrowest canvas, the larger one for its widest (9 and 11 px
// below 110 pixels across, 11 and 14 below 150, 12 and 16 below 200, 14 and 18
// below 280, else 16 and 20). A family without canvases: 11 and 14.
std::vector<int> SheetSizesForPhone(const TPhoneProfile& phone);

// What a jar needs on the phone.
struct TJarNeeds {
    uint64_t imagesHeap = 0;   // the decoded images
    uint64_t buffersHeap = 0;  // the reader's text buffers on the largest canvas
    uint64_t menuHeap = 0;     // topics.txt and layout.txt
    uint64_t heap = 0;         // all of it plus kReaderClassesHeap
    uint64_t store = 0;
    int cell = 0;              // the font's cell in pixels (0: no font image)
};

// The heap limit checked against: the family's heap less the margin.
uint64_t HeapLimit(const TPhoneProfile& phone);
// The store for `topics` topics.
uint64_t StoreNeeded(size_t topics);
// Reads the jar at `jarPath` (its images, topics.txt and layout.txt) and
// estimates its needs on `phone`'s largest canvas. Raises volm::Error naming
// the jar when it can't be read.
TJarNeeds MeasureJar(const std::string& jarPath, size_t topics, const TPhoneProfile& phone);
// The width and height in a PNG file's IHDR, or {0, 0} when it is no PNG.
TCanvasSize PngSize(std::string_view png);

// Report lines for one jar: the jar size, heap and store against the family's
// limits, and a "warning:" line for each estimate over its limit.
std::vector<std::string> PhoneReport(const std::string& jarPath, uint64_t jarSize, const TJarNeeds& needs,
                                     const TPhoneProfile& phone, uint64_t jarLimit);

// The table as lines for volm-cli phones.
std::vector<std::string> PhoneTableLines();

} // namespace volm
