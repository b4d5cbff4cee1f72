#pragma once
// Generation of the phone application: turns a book (its project path, topics
// and font settings) into the book folder's jar, manifest.mf and jad.
//
// The book folder (project folder + book name + "/") is both the work folder
// and the output folder. The reader template is copied out of the program's
// resources as tmp.jar, unpacked there and deleted; the manifest, the font
// image (when the custom font is on) and the data files are written over the
// template's; the folder is packed into <book>.jar (moving the files into the
// jar); the emptied template folders are removed; manifest.mf and the jad,
// which carries the jar's exact size, are written last.
//
// No GUI here: the font image renderer is handed in (the Qt one in volm and
// volm-cli), and progress goes through IBuildProgress.

#include "book/Datafiles.h"
#include "storage/Fontsettings.h"
#include "storage/Project.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace volm {

inline constexpr const char* kStatusBuilding = "Building...";
inline constexpr const char* kStatusDone = "Done. Subfolder was created.";

// The stages of a build, in order, for progress reports.
enum class TBuildStage {
    Template,   // unpacking the reader template (done = members so far, total 0)
    Manifest,
    FontImage,
    DataFiles,  // done/total = topics
    Packing,    // done/total = files packed into the jar
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

// Renders a font choice into the font image and saves it as PNG at the path
// given (replacing the file); volm_font's SaveFontImage is the one to pass.
using TFontRenderer = std::function<void(const TFontChoice&, const std::string& pngPath)>;

struct TBuildRequest {
    std::string projectPath;   // the project file, as the project was opened
    std::string vendor;        // inserted as it stands into "MIDlet-Vendor: "
    std::string url;           // inserted as it stands into "MIDlet-Info-URL: "
    TFontSettings font;        // the font choice and the use-custom-font switch
    // The reader's text layout (layout.txt); none writes no layout.txt, as
    // for a project that never chose one.
    std::optional<TReaderLayout> layout;
};

struct TBuildResult {
    std::string bookName;
    std::string bookFolder;    // ends in "/"
    std::string jarPath;
    std::string jadPath;
    std::string manifestPath;  // manifest.mf beside the jar
    uint64_t jarSize = 0;
    int packedFiles = 0;
};

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
// naming the file (or archive member) and the cause; the status text then
// stays "Building..." and the book folder keeps what was written so far
// (tmp.jar is always removed). A failure of the archive components (a member
// that can't be unpacked, a file that can't be packed) is raised as
// EArchiveError, carrying the first report's archive code. Every file the
// run writes goes through the safe-write path; the jar, manifest.mf and the
// jad are flushed to disk, the work files that the jar takes are not.
// `renderFont` is needed only when the custom font is on.
TBuildResult GenerateBook(const TBuildRequest& request, ITopicSequence& topics,
                          const TFontRenderer& renderFont, IBuildProgress* progress = nullptr);

} // namespace volm
