#pragma once
// The desktop side of generation: "&Generate JAVA middlet" of the project
// window. It asks for the build parameters (TForm3), runs the generation
// pipeline with the vendor and URL texts as they stand in the dialog, and
// shows how far it is in the main window's status bar: the status texts
// "Building..." and "Done. Subfolder was created." and, while the build runs,
// a progress bar placed on the status bar.
//
// The build runs on the user-interface thread, like every other command (the
// project file and its topics are only ever touched there). The window stays
// responsive because the progress reports let the window system paint and
// move windows in between; the user's clicks and keys wait until the build is
// over, and requests to close a window are refused while it runs.

#include "book/Pipeline.h"
#include "storage/Project.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

class QProgressBar;
class QStatusBar;
class QWidget;

namespace volm::ui {

class TForm3;

// Shows a build's progress in a status bar. The progress bar is on the status
// bar from construction to destruction.
class TStatusBarProgress : public IBuildProgress {
public:
    explicit TStatusBarProgress(QStatusBar* statusBar);
    ~TStatusBarProgress() override;
    TStatusBarProgress(const TStatusBarProgress&) = delete;
    TStatusBarProgress& operator=(const TStatusBarProgress&) = delete;

    void Status(const std::string& text) override;
    void Progress(TBuildStage stage, uint64_t done, uint64_t total) override;

    QProgressBar* Bar() const { return bar_; }
    // How far a whole build is, 0 to 100, when `stage` is `done` of `total`.
    static int Percent(TBuildStage stage, uint64_t done, uint64_t total);

private:
    void letWindowsPaint(bool always);

    QStatusBar* statusBar_;
    QProgressBar* bar_ = nullptr;
    int64_t lastPaint_ = -1;   // ms on the monotonic clock
};

// What the command works on.
struct TGenerateTarget {
    std::string ProjectPath;            // as the project window opened it
    std::string Title;                  // the project's title (MIDlet-Name), "" for none
    ITopicSequence* Topics = nullptr;   // the window's topics in list order
    TFontSettings Font;                 // the font choice and the switch
    TForm3* Dialog = nullptr;           // the build parameters dialog (the program's one when null)
    QStatusBar* StatusBar = nullptr;    // the main window's status bar
    QWidget* parent = nullptr;          // for the error box
    TFontRenderer RenderFont;           // FontImagePng when empty
    std::optional<TReaderLayout> Layout; // the project's layout (none: grid, built as before)
    // Stores a layout chosen in the dialog that differs from the project's.
    std::function<void(TReaderLayout)> StoreLayout;
    std::optional<TParagraphStyle> Paragraphs; // the project's paragraph style (none: indent)
    // Stores a paragraph style chosen in the dialog that differs from the project's.
    std::function<void(TParagraphStyle)> StoreParagraphs;
    // The project's font sizes and hyphens switch of the words layout (none:
    // the defaults), and where the dialog's changed ones are stored.
    std::optional<std::string> Sizes;
    std::function<void(const std::string&)> StoreSizes;
    std::optional<bool> Hyphens;
    std::function<void(bool)> StoreHyphens;
    // The folder the book folder is made in ("" beside the project file),
    // and where one the user chose (in the dialog, or after a folder that
    // can't be written) is stored; none for a project open read only.
    std::string OutFolder;
    std::function<void(const std::string&)> StoreOutFolder;
    TFontSheetRenderer RenderSheet;     // RenderFontSheet when empty
    // The build's number (TBuildRequest::nextBuild: raises the project's
    // counter); none builds number `Build`, not stored (`BuildStored`).
    std::function<uint64_t()> NextBuild;
    uint64_t Build = 1;
    bool BuildStored = true;
};

enum class TGenerateOutcome { Cancelled, Built, Failed };

// "&Generate JAVA middlet". Cancel in the dialog writes nothing and leaves the
// status text; a failure is shown in the error box with the failure's own
// text, and the status text stays "Building...". A build that made volumes
// (the dialog's "Phone" budget), or a single jar over 64 KB without a budget,
// is told in a message box afterwards: each jar, its size and its topics.
// A book folder that can't be written asks where else to build: the folder
// chosen is stored and the build made there.
TGenerateOutcome GenerateMidlet(const TGenerateTarget& target);
// The same for an open project, with the window's font settings (the dialog's
// choice and the "&Use custom font" check mark); a layout or paragraph style
// chosen in the dialog that differs from the project's is stored in the
// project (unless it is open read only: then it holds for this build).
TGenerateOutcome GenerateMidlet(TProject& project, const TFontSettings& font,
                                    QStatusBar* statusBar, QWidget* parent);

// True while a build runs.
bool Generating();

} // namespace volm::ui
