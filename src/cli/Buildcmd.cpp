// volm-cli build: generates a project's phone application (the book folder's
// jar, jad and manifest.mf) without a display. The vendor and URL not given on
// the command line come from the stored build parameters (the dialog's last
// texts), or their initial texts, and so does the jar budget (the dialog's
// "Phone" choice) when --max-jar is not given; nothing is written back there.
// --phone (or the dialog's stored family) sets the jar budget to the family's
// jar limit and measures every jar against its heap and store (Phones.h).
// --layout stores the reader's text layout in the project before the build,
// --paragraphs its paragraph style, --sizes the words layout's font sizes and
// --no-hyphens (or --hyphens) whether its texts get soft hyphens, and --out
// the folder the book folder is made in.

#include "cli/Buildchoices.h"
#include "cli/Cli.h"

#include "book/Bookfolder.h"
#include "book/Pipeline.h"
#include "common/Errors.h"
#include "storage/Project.h"

#ifdef VOLM_HAVE_FONT
#include "book/Fontimage.h"
#endif

#include <cerrno>
#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace volm::cli {
namespace {

namespace fs = std::filesystem;

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

std::vector<Option> BuildOptions()
{
    std::vector<Option> options{
        {"--out", "DIR",
         "make the book folder in DIR, stored in the project (else next to the project, or where a build "
         "stored it)"}};
    const std::vector<Option>& build = BuildChoiceOptions();
    options.insert(options.end(), build.begin(), build.end());
    return options;
}

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
    // The folder the book folder is made in: stored where the project can
    // be written, else used for this build only.
    std::string outFolder;
    if (const std::optional<std::string> out = a.value("--out")) {
        std::error_code ec;
        const fs::path dir = fs::absolute(fs::u8path(*out), ec).lexically_normal();
        if (ec || !fs::is_directory(dir, ec))
            throw UsageError("--out: " + *out + " is not a folder");
        outFolder = dir.string();
        if (outFolder.size() > 1 && outFolder.back() == '/')
            outFolder.pop_back();
        if (const std::string fault = OutputFolderFault(outFolder); !fault.empty())
            throw UsageError("--out: " + fault);
    }
    TProject p;
    p.Open(project, choices.StoresInProject() || writable ? TProject::omOpenExisting : TProject::omReadOnly);
    StoreBuildChoices(p, choices);
    if (!outFolder.empty() && !p.IsReadOnly() && outFolder != p.OutputFolder())
        p.SaveOutputFolder(outFolder);
    FillBuildRequest(request, p, choices);
    request.outFolder = outFolder.empty() ? p.OutputFolder() : outFolder;
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
    TBuildResult r;
    try {
        r = GenerateBook(request, topics, renderer, &progress);
    } catch (const EFolderNotWritable& e) {
        throw Error(std::string(e.what()) + "; build the book in another folder with --out DIR");
    }
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
     BuildOptions(),
     "generate the book's phone application (jar, jad, manifest.mf) in the folder named after the book, "
     "next to the project (or in the folder --out chose); missing texts come from the stored build parameters",
     cmdBuild},
};

} // namespace
} // namespace volm::cli
