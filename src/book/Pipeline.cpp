#include "book/Pipeline.h"

#include "archive/Unzip.h"
#include "book/Bookfolder.h"
#include "book/Manifest.h"
#include "book/Resources.h"
#include "book/Volumes.h"
#include "common/Errors.h"
#include "common/Fileio.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace volm {
namespace {

// The packed texts kept in memory for the volumes of a book (beyond it they
// are packed again when the volumes are written).
constexpr uint64_t kKeepPackedTexts = 24u << 20;

class TNoProgress : public IBuildProgress {
public:
    void Status(const std::string&) override {}
    void Progress(TBuildStage, uint64_t, uint64_t) override {}
};

// The template's members, read from the program's resources into memory.
std::vector<TExtractedMember> readTemplate(IBuildProgress& progress)
{
    std::span<const uint8_t> bytes = FindResource(kTemplateResourceType, kTemplateResourceId);
    uint64_t members = 0;
    std::string lastMember;
    TUnJar unjar;
    unjar.FileSpec = {"*.*"};
    unjar.OnProgress = [&](TProgressStage, const std::string& member) {
        if (!member.empty() && member != lastMember) {
            lastMember = member;
            ++members;
        }
        progress.Progress(TBuildStage::Template, members, 0);
    };
    unjar.SetArchiveData(bytes, "tmp.jar");
    std::vector<TExtractedMember> out = unjar.ExtractToMemory();
    unjar.RaiseFailures("Cannot unpack the reader template");
    return out;
}

uint64_t fileSize(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        int err = errno;
        throw Error("Cannot open " + path + ": " + systemMessage(err));
    }
    return static_cast<uint64_t>(st.st_size);
}

// The archive code of a failed write of the jar.
int writeFailureCode(int err)
{
    if (err == ENOSPC || err == EFBIG || err == EDQUOT)
        return zeDiskFull;
    return err == EIO ? zeWrite : zeOpen;
}

[[noreturn]] void rethrowPacking(const std::string& jarPath)
{
    try {
        throw;
    } catch (const EArchiveError& e) {
        throw EArchiveError(e.code(), "Cannot pack " + jarPath + ": " + e.what());
    } catch (const EFileError& e) {
        const int code = writeFailureCode(e.code());
        throw EArchiveError(code, "Cannot pack " + jarPath + ": " + jarPath + ": " + zipErrorMessage(code) + " (" +
                                      systemMessage(e.code()) + ")");
    }
}

// Writes one jar beside its old one and renames it over it once complete.
// Returns what was written; with `stopAbove`, a jar that grows larger is not
// put in place (complete is false) and the old one stays.
TBookJars::TWritten writeJar(TBookJars& jars, const TJarSpec& jarSpec, const std::string& path,
                             std::optional<uint64_t> stopAbove, IBuildProgress& progress)
{
    try {
        TSafeFile file(path);
        TBookJars::TWritten w = jars.Write(jarSpec, file.Fd(), path, stopAbove, [&](uint64_t done, uint64_t total) {
            progress.Progress(TBuildStage::Packing, done, total);
        });
        if (w.complete)
            file.Commit();
        else
            file.Discard();
        return w;
    } catch (const Error&) {
        rethrowPacking(path);
    }
}

std::string entryLabel(const TJarEntry& e)
{
    std::string s = std::to_string(e.topic + 1);
    return e.part == 0 ? s : s + " (" + std::to_string(e.part) + ")";
}

std::string topicsText(const std::vector<TJarEntry>& entries)
{
    if (entries.empty())
        return "no topics";
    if (entries.size() == 1)
        return "topic " + entryLabel(entries.front());
    return std::to_string(entries.size()) + " topics, " + entryLabel(entries.front()) + " to " +
           entryLabel(entries.back());
}

std::string kilobytes(uint64_t bytes)
{
    return std::to_string((bytes + 1023) / 1024) + " KB";
}

} // namespace

std::vector<std::string> BuildReport(const TBuildResult& r, const std::string& budgetHint)
{
    std::vector<std::string> lines;
    if (r.jars.size() > 1)
        lines.push_back(std::to_string(r.jars.size()) + " volumes, each at most " + std::to_string(r.maxJar) +
                        " bytes:");
    for (const TBuiltJar& j : r.jars) {
        lines.push_back("jar: " + j.jarPath + " (" + std::to_string(j.jarSize) + " bytes, " +
                        std::to_string(j.packedFiles) + " files, " + topicsText(j.entries) + ")");
        lines.push_back("jad: " + j.jadPath);
    }
    for (const std::string& s : r.skipped)
        lines.push_back("not packed: " + s + ": only the book folder's own regular files go into the jar");
    if (r.jars.size() == 1 && r.maxJar == 0 && r.jarSize > kPhoneSafeJar)
        lines.push_back("warning: the jar is " + kilobytes(r.jarSize) + " (" + std::to_string(r.jarSize) +
                        " bytes); many phones refuse a jar over 64 KB: " + budgetHint);
    return lines;
}

std::vector<std::string> BuildNamesReport(const TBuildResult& r)
{
    std::vector<std::string> lines;
    auto file = [](const std::string& path) { return path.substr(path.rfind('/') + 1); };
    if (r.jars.size() == 1) {
        lines.push_back("MIDlet-Name: " + r.midletName + ", jar " + file(r.jarPath) + ", MIDlet-Jar-URL: " +
                        PercentEncoded(file(r.jarPath)));
    } else if (!r.jars.empty()) {
        lines.push_back("MIDlet-Name: " + VolumeName(r.midletName, 1) + " to " +
                        VolumeName(r.midletName, r.jars.size()) + ", jars " + file(r.jars.front().jarPath) + " to " +
                        file(r.jars.back().jarPath));
    }
    std::string version = "MIDlet-Version: " + r.version + " (each build raises it, so that phones install the "
                          "book over an earlier one)";
    if (!r.buildStored)
        version += "; the project is read only, so its build counter was not raised: the next build gets this "
                   "version again";
    lines.push_back(version);
    return lines;
}

TBuildResult GenerateBook(const TBuildRequest& request, ITopicSequence& topics,
                          const TFontRenderer& renderFont, IBuildProgress* progressSink)
{
    TNoProgress quiet;
    IBuildProgress& progress = progressSink ? *progressSink : quiet;
    progress.Status(kStatusBuilding);

    // Refused before anything is written.
    TBookFolder bookFolder(request.projectPath);
    if (request.font.useCustomFont && !renderFont)
        throw Error("Cannot render the custom font " + request.font.font.name + " of " + request.projectPath +
                    ": this program was built without the font renderer (Qt); switch the custom font off "
                    "to use the reader's own font");
    // No value of the manifest holds a line end (the book name's is checked above).
    const std::string bookName = request.title.empty() ? bookFolder.BookName() : request.title;
    ManifestLines(TManifestFields{bookName, request.url, request.vendor, request.description, MidletVersion(1)});
    bookFolder.Open(); // locked from here on, for the whole build

    TBuildResult r;
    r.bookName = bookName;
    r.bookFolder = bookFolder.Path();
    r.maxJar = request.maxJar;
    const std::string& folder = r.bookFolder;
    const std::string& book = r.bookName;

    // The reader template, read into memory.
    TBookInput input;
    input.templateMembers = readTemplate(progress);

    // The book's manifest replaces the template's.
    progress.Progress(TBuildStage::Manifest, 0, 1);
    input.url = request.url;
    input.vendor = request.vendor;
    input.description = request.description;
    // The number is taken here: a build refused by its checks raises no counter.
    input.version = MidletVersion(request.nextBuild ? request.nextBuild() : request.build);
    r.version = input.version;
    r.buildStored = request.buildStored;
    r.midletName = book;

    progress.Progress(TBuildStage::Manifest, 1, 1);

    // The custom font's image replaces the template's sample.
    if (request.font.useCustomFont) {
        progress.Progress(TBuildStage::FontImage, 0, 1);
        input.fontPng = renderFont(request.font.font);
        progress.Progress(TBuildStage::FontImage, 1, 1);
    }

    // The data files' lists; the texts are read as they are packed.
    const size_t count = topics.Count();
    for (size_t i = 0; i < count; ++i) {
        input.names.push_back(topics.Name(i));
        progress.Progress(TBuildStage::DataFiles, i + 1, count);
    }
    input.layout = request.layout;
    input.paragraphs = request.paragraphs;

    // Every member as a book's jar packs it: the strongest deflate, archives
    // stored, names in the OEM code page. The entries carry the time of the
    // build (the clock); the user's files are packed and stay where they are.
    const TJarSettings settings;
    input.userFiles = bookFolder.UserFiles(OwnMemberNames(input), count, settings,
                                           input.layout == TReaderLayout::Words, &r.skipped);
    input.readUserFile = [&bookFolder](const TUserFile& f, uint64_t max) { return bookFolder.ReadUserFile(f, max); };

    TPackPool pool(request.threads);
    TBookJars jars(std::move(input), topics, settings, pool, request.clock);
    const std::string& stem = bookFolder.FileStem();
    r.jarPath = folder + stem + ".jar";
    try {
        jars.PackShared();
    } catch (const Error&) {
        rethrowPacking(r.jarPath);
    }

    // The whole book as one jar, as long as it stays within the budget.
    TJarSpec whole;
    whole.midletName = book;
    whole.fileName = stem;
    for (size_t i = 0; i < count; ++i)
        whole.entries.push_back({i, 0, 0, 0});
    if (request.maxJar)
        jars.KeepPackedTexts(kKeepPackedTexts);
    std::optional<uint64_t> stopAbove;
    if (request.maxJar)
        stopAbove = request.maxJar;
    TBookJars::TWritten single = writeJar(jars, whole, r.jarPath, stopAbove, progress);

    std::vector<std::string> lines;
    if (single.complete) {
        for (TJarEntry& e : whole.entries)
            e.end = jars.TextSize(e.topic);
        progress.Progress(TBuildStage::Finishing, 0, 1);
        lines = jars.ManifestLines(whole);
        r.manifestPath = folder + "manifest.mf";
        SaveLines(r.manifestPath, lines);
        r.jarSize = fileSize(r.jarPath);
        r.jadPath = folder + stem + ".jad";
        SaveLines(r.jadPath, DescriptorLines(lines, stem + ".jar", r.jarSize));
        r.packedFiles = single.members;
        r.jars.push_back({r.jarPath, r.jadPath, r.jarSize, r.packedFiles, whole.entries});
        bookFolder.RemoveOldOutputs(0);
        progress.Progress(TBuildStage::Finishing, 1, 1);
        progress.Status(kStatusDone);
        return r;
    }

    // Volumes, each within the budget as written; one that came out larger
    // than planned makes the plan start again with that much less room.
    const uint64_t smallest = count == 0 ? jars.Size(whole) : SmallestBudget(jars, book);
    if (request.maxJar < smallest)
        throw Error("The jar budget of " + std::to_string(request.maxJar) +
                    " bytes is too small for this book: the reader and one part of a topic need at least " +
                    std::to_string(smallest) + " bytes, the smallest possible budget");
    uint64_t room = request.maxJar;
    std::vector<TJarSpec> plan;
    for (int attempt = 0;; ++attempt) {
        plan = PlanVolumes(jars, book, room);
        for (size_t k = 0; k < plan.size(); ++k)
            plan[k].fileName = VolumeFileName(stem, k + 1);
        r.jars.clear();
        uint64_t over = 0;
        for (const TJarSpec& jarSpec : plan) {
            const std::string path = folder + jarSpec.fileName + ".jar";
            TBookJars::TWritten w = writeJar(jars, jarSpec, path, std::nullopt, progress);
            const uint64_t size = fileSize(path);
            over = std::max(over, size > request.maxJar ? size - request.maxJar : 0);
            const std::vector<std::string> specLines = jars.ManifestLines(jarSpec);
            const std::string jad = folder + jarSpec.fileName + ".jad";
            SaveLines(jad, DescriptorLines(specLines, jarSpec.fileName + ".jar", size));
            r.jars.push_back({path, jad, size, w.members, jarSpec.entries});
        }
        if (over == 0)
            break;
        if (attempt == 3 || room <= over + smallest)
            throw Error("Cannot fit the volumes of " + book + " into " + std::to_string(request.maxJar) +
                        " bytes each: a volume came out " + std::to_string(over) + " bytes larger");
        room -= over;
    }

    progress.Progress(TBuildStage::Finishing, 0, 1);
    lines = jars.ManifestLines(plan.back());
    r.manifestPath = folder + "manifest.mf";
    SaveLines(r.manifestPath, lines);
    bookFolder.RemoveOldOutputs(plan.size());
    r.jarPath = r.jars.back().jarPath;
    r.jadPath = r.jars.back().jadPath;
    r.jarSize = r.jars.back().jarSize;
    r.packedFiles = r.jars.back().packedFiles;
    progress.Progress(TBuildStage::Finishing, 1, 1);
    progress.Status(kStatusDone);
    return r;
}

std::string TProjectTopics::Name(size_t i)
{
    const TTopicNode& node = project_.Topic(i);
    return node.Item ? node.Item->GetName() : std::string("Error loading");
}

std::string TProjectTopics::Text(size_t i)
{
    const TTopicNode& node = project_.Topic(i);
    return node.Item ? node.Item->GetText() : std::string();
}

} // namespace volm
