#include "cli/Buildchoices.h"

#include "book/Buildparams.h"
#include "book/Fontsheet.h"
#include "book/Manifest.h"
#include "storage/Project.h"

namespace volm::cli {

const std::vector<Option>& BuildChoiceOptions()
{
    static const std::vector<Option> options{
        {"--vendor", "V", "the vendor (MIDlet-Vendor in the manifest and the jad)"},
        {"--url", "U", "the information URL (MIDlet-Info-URL), an absolute http or https URL"},
        {"--description", "D", "the description (MIDlet-Description, cut to 128 bytes)"},
        {"--layout", "words|grid",
         "the reader's layout, stored in the project (one without it reads as grid; new projects hold words)"},
        {"--paragraphs", "indent|gap",
         "how the words layout starts a paragraph, stored in the project (one without it: indent)"},
        {"--sizes", "N[,N[,N]]",
         "the words layout's font sizes in pixels, 1 to 3, stored in the project (default 11,14, or the sizes "
         "suited to the --phone family's screens)"},
        {"--no-hyphens", "", "no soft hyphens in the words layout's texts, stored in the project"},
        {"--hyphens", "", "soft hyphens in the words layout's texts again (the default), stored in the project"},
        {"--max-jar", "SIZE",
         "the largest jar phones take (bytes; K, M: 64K, 1M; none): a larger book becomes volumes"},
        {"--phone", "NAME",
         "the phone family (an id or name from volm-cli phones, or the start of one): its jar limit is the budget "
         "(--max-jar overrides it), its heap bounds the font images, and each jar's heap and store are checked "
         "against it"}};
    return options;
}

TBuildChoices ParseBuildChoices(const Args& a)
{
    TBuildChoices c;
    if (const std::optional<std::string> name = a.value("--layout")) {
        TReaderLayout layout{};
        if (!ParseLayoutName(*name, layout))
            throw UsageError("--layout is words or grid, not \"" + *name + "\"");
        c.layout = layout;
    }
    if (const std::optional<std::string> name = a.value("--paragraphs")) {
        TParagraphStyle style{};
        if (!ParseParagraphsName(*name, style))
            throw UsageError("--paragraphs is indent or gap, not \"" + *name + "\"");
        c.paragraphs = style;
    }
    if (const std::optional<std::string> text = a.value("--sizes"); text && !(c.sizes = ParseSheetSizes(*text)))
        throw UsageError("--sizes is 1 to 3 different font sizes of " + std::to_string(kMinSheetSize) + " to " +
                         std::to_string(kMaxSheetSize) + " pixels, separated by commas (11,14), not \"" + *text +
                         "\"");
    if (a.has("--hyphens") && a.has("--no-hyphens"))
        throw UsageError("--hyphens and --no-hyphens exclude each other");
    if (a.has("--hyphens") || a.has("--no-hyphens"))
        c.hyphens = a.has("--hyphens");

    // The stored texts are Windows-1251 already; the command line's are UTF-8.
    // Every text is one line of the jad and the manifest, and the URL a web address.
    const TBuildTexts stored = storedBuildTexts();
    auto typed = [&](const std::string& option, const std::string& storedText, const std::string& what) {
        if (std::optional<std::string> v = a.value(option)) {
            CheckOneLine(*v, option);
            return fromTerminal(*v, "the " + what);
        }
        CheckOneLine(storedText, "the stored " + what + " (build parameters)");
        return storedText;
    };
    c.vendor = typed("--vendor", stored.vendor, "vendor");
    c.url = typed("--url", stored.url, "URL");
    CheckInfoUrl(c.url, a.has("--url") ? std::string("--url") : std::string("the stored URL (build parameters)"));
    c.description = typed("--description", stored.description, "description");
    c.maxJar = stored.maxJar;
    c.phone = stored.phone.empty() ? nullptr : PhoneById(stored.phone);
    if (const std::optional<std::string> name = a.value("--phone")) {
        try {
            c.phone = &FindPhone(*name);
        } catch (const Error& e) {
            throw UsageError(std::string("--phone: ") + e.what());
        }
    }
    if (c.phone)
        c.maxJar = c.phone->jar;
    if (const std::optional<std::string> budget = a.value("--max-jar")) {
        const std::optional<uint64_t> bytes = ParseJarBudget(*budget);
        if (!bytes)
            throw UsageError("--max-jar is a size in bytes (K and M after it for 1024 bytes and 1024 K), "
                             "or none, not \"" + *budget + "\"");
        c.maxJar = *bytes;
    }
    return c;
}

std::string TBuildChoices::Text() const
{
    std::string t = "max-jar " + std::to_string(maxJar) + " phone " + (phone ? phone->id : std::string()) +
                    " vendor " + vendor + " url " + url + " description " + description;
    if (layout)
        t += " layout " + std::to_string(static_cast<int>(*layout));
    if (paragraphs)
        t += " paragraphs " + std::to_string(static_cast<int>(*paragraphs));
    if (sizes)
        t += " sizes " + SheetSizesText(*sizes);
    if (hyphens)
        t += std::string(" hyphens ") + (*hyphens ? "on" : "off");
    return t;
}

void StoreBuildChoices(TProject& project, const TBuildChoices& c)
{
    if (c.layout)
        project.SaveLayout(*c.layout);
    if (c.paragraphs)
        project.SaveParagraphs(*c.paragraphs);
    if (c.sizes)
        project.SaveSheetSizes(SheetSizesText(*c.sizes));
    if (c.hyphens)
        project.SaveHyphens(*c.hyphens);
}

void FillBuildRequest(TBuildRequest& request, const TProject& project, const TBuildChoices& c)
{
    request.vendor = c.vendor;
    request.url = c.url;
    request.description = c.description;
    request.maxJar = c.maxJar;
    request.title = project.Title();
    request.font = project.FontSettings();
    request.layout = project.Layout();
    request.paragraphs = project.Paragraphs().value_or(TParagraphStyle::Indent);
    request.hyphens = project.Hyphens().value_or(true);
    if (const std::optional<std::string> stored = project.SheetSizes()) {
        const std::optional<std::vector<int>> parsed = ParseSheetSizes(*stored);
        if (!parsed)
            throw Error("The font sizes \"" + *stored + "\" stored in " + request.projectPath +
                        " are not 1 to 3 sizes; set them with --sizes");
        request.sizes = *parsed;
    } else if (c.phone) {
        request.sizes = SheetSizesForPhone(*c.phone);
    }
    if (c.phone)
        request.heap = c.phone->heap;
}

std::vector<std::string> PhoneLines(const TBuildResult& r, const TBuildChoices& c)
{
    std::vector<std::string> lines;
    if (c.phone)
        for (const TBuiltJar& j : r.jars)
            for (std::string& line : PhoneReport(j.jarPath, j.jarSize, MeasureJar(j.jarPath, j.entries.size(), *c.phone),
                                                 *c.phone, r.maxJar))
                lines.push_back(std::move(line));
    return lines;
}

} // namespace volm::cli
