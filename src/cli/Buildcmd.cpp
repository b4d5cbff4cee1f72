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

#include "cli/Cli.h"

#include "book/Buildparams.h"
#include "book/Manifest.h"
#include "book/Phones.h"
#include "book/Pipeline.h"
#include "common/Errors.h"
#include "storage/Project.h"

#ifdef VOLM_HAVE_FONT
#include "book/Fontimage.h"
#endif

#include <cerrno>
#include <iostream>
#include <optional>
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
    std::optional<std::string> vendor = a.value("--vendor"), url = a.value("--url");
    TReaderLayout layout{};
    const std::optional<std::string> layoutName = a.value("--layout");
    if (layoutName && !ParseLayoutName(*layoutName, layout))
        throw UsageError("--layout is words or grid, not \"" + *layoutName + "\"");
    TParagraphStyle paragraphs{};
    const std::optional<std::string> paragraphsName = a.value("--paragraphs");
    if (paragraphsName && !ParseParagraphsName(*paragraphsName, paragraphs))
        throw UsageError("--paragraphs is indent or gap, not \"" + *paragraphsName + "\"");

    std::optional<std::vector<int>> sizes;
    const std::optional<std::string> sizesText = a.value("--sizes");
    if (sizesText && !(sizes = ParseSheetSizes(*sizesText)))
        throw UsageError("--sizes is 1 to 3 different font sizes of " + std::to_string(kMinSheetSize) + " to " +
                         std::to_string(kMaxSheetSize) + " pixels, separated by commas (11,14), not \"" +
                         *sizesText + "\"");
    if (a.has("--hyphens") && a.has("--no-hyphens"))
        throw UsageError("--hyphens and --no-hyphens exclude each other");
    std::optional<bool> hyphens;
    if (a.has("--hyphens") || a.has("--no-hyphens"))
        hyphens = a.has("--hyphens");

    // The stored texts are Windows-1251 already; the command line's are UTF-8.
    // Every text is one line of the jad and the manifest, and the URL a web address.
    TBuildTexts texts = storedBuildTexts();
    TBuildRequest request;
    request.projectPath = project;
    auto typed = [&](const std::string& option, const std::string& stored, const std::string& what) {
        if (std::optional<std::string> v = a.value(option)) {
            CheckOneLine(*v, option);
            return fromTerminal(*v, "the " + what);
        }
        CheckOneLine(stored, "the stored " + what + " (build parameters)");
        return stored;
    };
    request.vendor = typed("--vendor", texts.vendor, "vendor");
    request.url = typed("--url", texts.url, "URL");
    CheckInfoUrl(request.url, url ? std::string("--url") : std::string("the stored URL (build parameters)"));
    request.description = typed("--description", texts.description, "description");
    request.maxJar = texts.maxJar;
    const TPhoneProfile* phone = texts.phone.empty() ? nullptr : PhoneById(texts.phone);
    if (auto name = a.value("--phone")) {
        try {
            phone = &FindPhone(*name);
        } catch (const Error& e) {
            throw UsageError(std::string("--phone: ") + e.what());
        }
    }
    if (phone)
        request.maxJar = phone->jar;
    if (auto budget = a.value("--max-jar")) {
        std::optional<uint64_t> bytes = ParseJarBudget(*budget);
        if (!bytes)
            throw UsageError("--max-jar is a size in bytes (K and M after it for 1024 bytes and 1024 K), "
                             "or none, not \"" + *budget + "\"");
        request.maxJar = *bytes;
    }

    // For writing, to count the build; a project the user may not write is
    // built all the same, read only (a shared lock), its counter not raised
    // -- unless an option is to be stored in it.
    const bool writable = ::access(project.c_str(), W_OK) == 0 || (errno != EACCES && errno != EROFS);
    TProject p;
    const bool store = layoutName || paragraphsName || sizes || hyphens;
    p.Open(project, store || writable ? TProject::omOpenExisting : TProject::omReadOnly);
    request.title = p.Title();
    if (layoutName)
        p.SaveLayout(layout);
    if (paragraphsName)
        p.SaveParagraphs(paragraphs);
    if (sizes)
        p.SaveSheetSizes(SheetSizesText(*sizes));
    if (hyphens)
        p.SaveHyphens(*hyphens);
    request.buildStored = !p.IsReadOnly();
    request.build = p.BuildCount() + 1;
    if (request.buildStored)
        request.nextBuild = [&p] {
            p.SaveBuildCount(p.BuildCount() + 1);
            return p.BuildCount();
        };
    request.font = p.FontSettings();
    request.layout = p.Layout();
    request.paragraphs = p.Paragraphs().value_or(TParagraphStyle::Indent);
    if (std::optional<std::string> stored = p.SheetSizes()) {
        std::optional<std::vector<int>> parsed = ParseSheetSizes(*stored);
        if (!parsed)
            throw Error("The font sizes \"" + *stored + "\" stored in " + project +
                        " are not 1 to 3 sizes; set them with --sizes");
        request.sizes = *parsed;
    }
    request.hyphens = p.Hyphens().value_or(true);
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
    if (phone)
        for (const TBuiltJar& j : r.jars)
            for (const std::string& line :
                 PhoneReport(j.jarPath, j.jarSize, MeasureJar(j.jarPath, j.entries.size(), *phone), *phone, r.maxJar))
                std::cout << line << "\n";
    return 0;
}

const Registrar registrar{
    {"build",
     {"PROJECT"},
     {{"--vendor", "V", "the vendor (MIDlet-Vendor in the manifest and the jad)"},
      {"--url", "U", "the information URL (MIDlet-Info-URL), an absolute http or https URL"},
      {"--description", "D", "the description (MIDlet-Description, cut to 128 bytes)"},
      {"--layout", "words|grid",
       "the reader's layout, stored in the project (one without it reads as grid; new projects hold words)"},
      {"--paragraphs", "indent|gap",
       "how the words layout starts a paragraph, stored in the project (one without it: indent)"},
      {"--sizes", "N[,N[,N]]",
       "the words layout's font sizes in pixels, 1 to 3, stored in the project (default 11,14)"},
      {"--no-hyphens", "", "no soft hyphens in the words layout's texts, stored in the project"},
      {"--hyphens", "", "soft hyphens in the words layout's texts again (the default), stored in the project"},
      {"--max-jar", "SIZE",
       "the largest jar phones take (bytes; K, M: 64K, 1M; none): a larger book becomes volumes"},
      {"--phone", "NAME",
       "the phone family (an id or name from volm-cli phones, or the start of one): its jar limit is the budget "
       "(--max-jar overrides it), and each jar's heap and store are checked against it"}},
     "generate the book's phone application (jar, jad, manifest.mf) in the folder named after the book, "
     "next to the project; missing texts come from the stored build parameters",
     cmdBuild},
};

} // namespace
} // namespace volm::cli
