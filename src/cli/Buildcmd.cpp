// volm-cli build: generates a project's phone application (the book folder's
// jar, jad and manifest.mf) without a display. The vendor and URL not given on
// the command line come from the stored build parameters (the dialog's last
// texts), or their initial texts, and so does the jar budget (the dialog's
// "Phone" choice) when --max-jar is not given; nothing is written back there.
// --phone (or the dialog's stored family) sets the jar budget to the family's
// jar limit and measures every jar against its heap and store (Phones.h).
// --layout stores the reader's text layout in the project before the build,
// --paragraphs its paragraph style, --sizes the words layout's font sizes and
// --no-hyphens (or --hyphens) whether its texts get soft hyphens.

#include "cli/Buildchoices.h"
#include "cli/Cli.h"

#include "book/Pipeline.h"
#include "common/Errors.h"
#include "storage/Project.h"

#ifdef VOLM_HAVE_FONT
#include "book/Fontimage.h"
#endif

#include <cerrno>
#include <iostream>
#include <unistd.h>

namespace volm::cli {
namespace {

// Status texts as lines; for a long build, the progress of its two long
// stages in steps of ten per cent.
class TConsoleProgress : public IBuildProgress {
public:
    void Status(const std::string& text) override { std::cout << text << std::endl; }
    void Progress(TBuildStage stage, uint64_t done, uint64_t total) override
    {
        if (total < kLongBuild || (stage != TBuildStage::DataFiles && stage != TBuildStage::Packing))
            return;
        int tenth = static_cast<int>(done * 10 / total);
        if (stage == stage_ && tenth <= tenth_ && done >= done_)
            return;
        done_ = done;
        stage_ = stage;
        tenth_ = tenth;
        std::cout << (stage == TBuildStage::DataFiles ? "  writing topics " : "  packing files ") << done
                  << " of " << total << " (" << tenth * 10 << "%)" << std::endl;
    }

private:
    static constexpr uint64_t kLongBuild = 200;
    TBuildStage stage_ = TBuildStage::Template;
    int tenth_ = -1;
    uint64_t done_ = 0;
};

int cmdBuild(const Args& a)
{
    const std::string& project = a["PROJECT"];
    const TBuildChoices choices = ParseBuildChoices(a);
    TBuildRequest request;
    request.projectPath = project;

    // For writing, to count the build; a project the user may not write is
    // built all the same, read only (a shared lock), its counter not raised
    // -- unless an option is to be stored in it.
    const bool writable = ::access(project.c_str(), W_OK) == 0 || (errno != EACCES && errno != EROFS);
    TProject p;
    p.Open(project, choices.StoresInProject() || writable ? TProject::omOpenExisting : TProject::omReadOnly);
    StoreBuildChoices(p, choices);
    FillBuildRequest(request, p, choices);
    request.buildStored = !p.IsReadOnly();
    request.build = p.BuildCount() + 1;
    if (request.buildStored)
        request.nextBuild = [&p] {
            p.SaveBuildCount(p.BuildCount() + 1);
            return p.BuildCount();
        };
    TProjectTopics topics(p);
    TConsoleProgress progress;
    TFontRenderer renderer;
#ifdef VOLM_HAVE_FONT
    renderer = FontImagePng;
    request.renderSheet = RenderFontSheet;
#endif
    TBuildResult r = GenerateBook(request, topics, renderer, &progress);
    p.CloseProject();
    for (const std::string& line : BuildReport(r, "build volumes that fit with --max-jar SIZE (64K for most phones)"))
        std::cout << line << "\n";
    for (const std::string& line : BuildNamesReport(r))
        std::cout << line << "\n";
    for (const std::string& line : PhoneLines(r, choices))
        std::cout << line << "\n";
    return 0;
}

const Registrar registrar{
    {"build",
     {"PROJECT"},
     BuildChoiceOptions(),
     "generate the book's phone application (jar, jad, manifest.mf) in the folder named after the book, "
     "next to the project; missing texts come from the stored build parameters",
     cmdBuild},
};

} // namespace
} // namespace volm::cli
