#pragma once
// Generation of the phone application: turns a book (its project path, topics
// and font settings) into the book folder's jar, manifest.mf and jad.
//
// The book folder (project folder + book name + "/") is the output folder.
// The jar is assembled in memory (TBookJars): the reader template, read from
// the program's resources, the book's manifest, the font image when the
// custom font is on, the data files and the topic texts straight from the
// project, and whatever the user put into the book folder (packed, and left
// where it is). The jar, manifest.mf and the jad, which carries the jar's
// exact size, are written beside the old ones under staged names and then
// put in place as one set (TBookFolder::PutInPlace): a build that fails or is
// killed leaves the old set or the new one, whole. Nothing else in the folder
// is created or deleted, but for the build's own stale temporary files (the
// rules of the book folder are in Bookfolder.h).
//
// With a jar budget, a book whose jar would be larger is built as volumes
// (see Volumes.h): Tales-1.jar/.jad, Tales-2.jar/.jad, ... and manifest.mf
// of the last one, one set too; the outputs of an earlier build that the new
// one does not replace (Tales.jar and Tales.jad, or volumes beyond the new
// last one) are removed once the new ones are in place.
//
// No GUI here: the font image renderer is handed in (the Qt one in volm and
// volm-cli), and progress goes through IBuildProgress.

#include "book/Bookjar.h"
#include "book/Datafiles.h"
#include "book/Fontsheet.h"
#include "storage/Fontsettings.h"
#include "storage/Project.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace volm {

inline constexpr const char* kStatusBuilding = "Building...";
inline constexpr const char* kStatusDone = "Done. Subfolder was created.";

// The stages of a build, in order, for progress reports.
enum class TBuildStage {
    Template,   // reading the reader template (done = members so far, total 0)
    Manifest,
    FontImage,
    DataFiles,  // done/total = topics (their names, for the lists)
    Packing,    // done/total = members written into a jar (the texts are read here)
    Finishing,  // manifest.mf and the jad
};

// Where a build reports to. The GUI shows the status text in its status bar
// and the counts in a progress bar (processing its pending messages there);
// volm-cli prints them.
class IBuildProgress {
public:
    virtual ~IBuildProgress() = default;
    // "Building..." when the work starts, "Done. Subfolder was created." at its end.
    virtual void Status(const std::string& text) = 0;
    // How far a stage is. Called often (per topic, per packed file and between
    // data chunks): cheap to call, a front end decides what to show.
    virtual void Progress(TBuildStage stage, uint64_t done, uint64_t total) = 0;
};

// Renders a font choice into the font image and gives the bytes of its PNG
// file; volm_font's FontImagePng is the one to pass.
using TFontRenderer = std::function<std::string(const TFontChoice&)>;

// Many phones of the time refuse a larger jar: a single jar over this size
// (without a budget) is reported with a warning.
inline constexpr uint64_t kPhoneSafeJar = 64 * 1024;

// libdeflate's levels a build packs its members at: where a jar budget is
// set, the strongest (each byte saved there is text on the phone); without
// one, a level that keeps the build within the time zip -9 takes for the same
// files, its jar still no larger than zip's (bench/book measures both).
inline constexpr int kBudgetLevel = 12;
inline constexpr int kQuickLevel = 9;

struct TBuildRequest {
    std::string projectPath;   // the project file, as the project was opened
    // The folder the book folder is made in (the user's choice); "" beside
    // the project file.
    std::string outFolder;
    std::string vendor;        // inserted as it stands into "MIDlet-Vendor: "
    std::string url;           // inserted as it stands into "MIDlet-Info-URL: "
    std::string description;   // "MIDlet-Description: " (cut to its most bytes); "" for none
    // The build's number, from 1 (the project's build counter): MIDlet-Version
    // is MidletVersion(build). When `nextBuild` is given it is called instead,
    // once, after the checks and before the first jar is written: it raises
    // the project's counter and gives the number (a failure raises, and
    // nothing is written). `buildStored` false: the counter could not be kept
    // (a read-only project), which the report says.
    uint64_t build = 1;
    std::function<uint64_t()> nextBuild;
    bool buildStored = true;
    TFontSettings font;        // the font choice and the use-custom-font switch
    // The reader's text layout (layout.txt); none writes no layout.txt, as
    // for a project that never chose one.
    std::optional<TReaderLayout> layout;
    // The paragraph style layout.txt carries (the words layout draws it).
    TParagraphStyle paragraphs = TParagraphStyle::Indent;
    // The words layout's font: its sizes in pixels (1 to 3, smallest first),
    // rendered by `renderSheet` (volm_font's RenderFontSheet) in the custom
    // font when it is on, else in DefaultSheetFont(). A words book needs the
    // renderer; the other layouts never call it.
    std::vector<int> sizes = kDefaultSheetSizes;
    TFontSheetRenderer renderSheet;
    // Soft hyphens at the break points of the patterns in the words layout's
    // texts (the front ends pass the project's choice, on unless it says off).
    bool hyphens = false;
    // The jar budget in bytes; 0 for none.
    uint64_t maxJar = 0;
    // The Java heap of the phone the book is for (its family's figure): the
    // font images may take a share of it. 0 for a typical phone's kPhoneHeap.
    uint64_t heap = 0;
    // libdeflate's level for the members (1 to 12); 0: kBudgetLevel with a
    // budget, else kQuickLevel.
    int level = 0;
    // Threads that pack the members: 0 for one per processor. The jar is the
    // same byte for byte whatever the number.
    unsigned threads = 0;
    // The clock that dates the entries (the system's when empty).
    std::function<time_t()> clock;
    // The book's own name (UTF-8, the project's title): MIDlet-Name; empty
    // for the project file's name.
    std::string title;
};

// One size of the words layout's font as built.
struct TBuiltSheet {
    int size = 0;              // line height in pixels
    uint64_t pngBytes = 0;     // the image's file
    uint64_t mapBytes = 0;
    uint64_t decoded = 0;      // the image decoded at 16 bits a pixel
};

// One jar the build made.
struct TBuiltJar {
    std::string jarPath;
    std::string jadPath;
    uint64_t jarSize = 0;
    int packedFiles = 0;
    std::vector<TJarEntry> entries;   // its menu entries (topics, or parts of one)
};

// The level a build of `request` packs at.
int BuildLevel(const TBuildRequest& request);

struct TBuildResult {
    std::string bookName;
    std::string bookFolder;    // ends in "/"
    // The jar and jad (of the last volume, when there are volumes).
    std::string jarPath;
    std::string jadPath;
    std::string manifestPath;  // manifest.mf beside the jar
    uint64_t jarSize = 0;
    int packedFiles = 0;
    uint64_t maxJar = 0;       // the budget it was built for (0: none)
    int level = 0;             // libdeflate's level of its members
    std::vector<TBuiltJar> jars;   // the single jar, or the volumes in order
    std::string midletName;    // of the single jar, or of the book's volumes without their numbers
    std::string version;       // MIDlet-Version of every jar
    bool buildStored = true;
    // The book folder's entries left out of the jar: "PATH (a symbolic link)".
    std::vector<std::string> skipped;
    // The words layout's font sizes put into the jar, and what was left out or
    // is worth a warning (a size over the budget, images over the heap share).
    std::vector<TBuiltSheet> sheets;
    std::vector<std::string> fontWarnings;
    // Soft hyphens: whether the texts got them, how many, and what they cost
    // packed (the texts' deflated size with them less without them).
    bool hyphenated = false;
    uint64_t hyphensAdded = 0;
    int64_t hyphenJarBytes = 0;
};

// What a build made, as lines for the user: per jar its path, size, files and
// topics, and its jad; per font size its image's file and decoded sizes, the
// font's warnings, the soft hyphens added and their cost; the files of the book folder left out (links, FIFOs,
// devices). A single jar over kPhoneSafeJar without a budget gets
// a warning line naming `budgetHint` (how to set a budget in that front end).
std::vector<std::string> BuildReport(const TBuildResult& r, const std::string& budgetHint);
// The names and the version phones see: the MIDlet-Name, the jar's file name
// and MIDlet-Jar-URL, and MIDlet-Version (which every build raises, a rebuild
// of an unchanged book too, so that a phone installs it over the last).
std::vector<std::string> BuildNamesReport(const TBuildResult& r);

// A project's topics in list order, each read through its topic item when
// the pipeline asks for it (a topic without an item reads as "Error loading"
// with an empty text).
class TProjectTopics : public ITopicSequence {
public:
    explicit TProjectTopics(const TProject& project) : project_(project) {}
    size_t Count() const override { return project_.TopicCount(); }
    std::string Name(size_t i) override;
    std::string Text(size_t i) override;

private:
    const TProject& project_;
};

// Runs the whole generation. Any failure raises volm::Error with one line
// naming the file (or archive member) and the cause (the system's own for
// the step that failed); the status text then stays "Building...". Refused
// before anything is written: a book name that is empty, "." or "..", or
// that does not name a folder of its own beside the project file; a book
// folder that is a symbolic link; an output (jar, jad, manifest.mf) that is a
// link or not a regular file; a custom font without a renderer; a budget
// under the smallest possible one (the message names it). A failure of the
// archive components (the template can't be read, a user's file can't be
// packed, the jar can't be written) is raised as EArchiveError with its
// archive code. Every file goes through the safe-write path and is flushed to
// disk; the old jar stays until the new one is complete. Two builds of one
// book folder at once: the second is refused.
// `renderFont` is needed only when the custom font is on, and only for the
// grid layout (and books without a layout); the words layout renders its
// sizes through the request's `renderSheet`. A size whose image would take
// more than a quarter of the jar budget (of kPhoneSafeJar without one), or
// decode to more than kFontHeapPercent of kPhoneHeap alone, is left out with
// a warning; when no size is left the build is refused, naming the sizes.
// Malformed sizes (none, more than three, out of range) are refused too.
TBuildResult GenerateBook(const TBuildRequest& request, ITopicSequence& topics,
                          const TFontRenderer& renderFont, IBuildProgress* progress = nullptr);

// What the build gives the reader to see a book with, for showing its
// pages elsewhere. The bytes every words book's font has glyphs for: the
// reader's own strings, the book's name, the empty topic's note and the
// topic names (the build adds the texts').
TUsedBytes BookBytes(const std::string& bookName, const std::vector<std::string>& names);
// The words layout's font sizes a build with this request puts into the jar
// (those that do not fit are left out, each with a warning line); the
// template's cells without a sheet renderer.
std::vector<TFontSheet> WordsFontSheets(const TBuildRequest& request, const TUsedBytes& used,
                                        std::vector<std::string>* warnings = nullptr);
// The grid layout's font image: the custom font's, else the template's.
std::string GridFontPng(const TBuildRequest& request, const TFontRenderer& renderFont);
// The book's name as the build gives it (MIDlet-Name): the title, else the
// project file's name.
std::string BookNameOf(const TBuildRequest& request);

} // namespace volm
