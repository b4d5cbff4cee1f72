#include "book/Pipeline.h"

#include "archive/Unzip.h"
#include "book/Bookfolder.h"
#include "book/Manifest.h"
#include "book/Resources.h"
#include "book/Volumes.h"
#include "common/Errors.h"
#include "common/Fileio.h"
#include "text/Hyphenate.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace volm {
namespace {

// The packed texts kept in memory for the volumes of a book, so that each is
// packed once however often the volumes are planned (beyond it they are
// packed again when the volumes are written).
constexpr uint64_t kKeepPackedTexts = 256u << 20;

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

// Writes one jar (`path`) under its staged name, whole or not at all.
// Returns what was written; with `stopAbove`, a jar that grows larger is not
// kept (complete is false).
TBookJars::TWritten writeJar(TBookJars& jars, const TJarSpec& jarSpec, const std::string& path,
                             const std::string& staged, std::optional<uint64_t> stopAbove, IBuildProgress& progress)
{
    try {
        TSafeFile file(staged);
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

// The topics with soft hyphens in their texts (the names stay as they are).
class THyphenatedTopics : public ITopicSequence {
public:
    THyphenatedTopics(ITopicSequence& topics, const THyphenator& hyphenator)
        : topics_(topics), hyphenator_(hyphenator)
    {
    }
    size_t Count() const override { return topics_.Count(); }
    std::string Name(size_t i) override { return topics_.Name(i); }
    std::string Text(size_t i) override { return hyphenator_.Hyphenate(topics_.Text(i)); }

private:
    ITopicSequence& topics_;
    const THyphenator& hyphenator_;
};

// The deflated size of a text as the words layout packs it, piece by piece.
uint64_t packedTextSize(std::string_view text, TDeflater& deflater, int level)
{
    uint64_t n = 0;
    for (uint64_t at = 0; at < text.size(); at += kTextPiece)
        n += deflater.Deflate(text.substr(at, kTextPiece), level).size();
    return n;
}

std::string sizesText(const std::vector<int>& sizes)
{
    std::string s;
    for (int n : sizes)
    {
        if (!s.empty())
            s += ", ";
        s += std::to_string(n);
        s += " px";
    }
    return s;
}

// The template's font image (cells of a 16 x 16 grid, glyphs 3/4 of a cell
// wide) as a sheet with its map, for a program without the font renderer.
TFontSheet CellSheet(const std::vector<TExtractedMember>& templateMembers)
{
    auto image = std::find_if(templateMembers.begin(), templateMembers.end(),
                              [](const TExtractedMember& m) { return m.name == "images/Font.png"; });
    if (image == templateMembers.end() || image->bytes.size() < 24)
        throw Error("The reader template has no font image images/Font.png");
    auto be32 = [&](size_t at) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k)
            v = v << 8 | static_cast<uint8_t>(image->bytes[at + k]);
        return v;
    };
    TFontSheet s;
    s.png = image->bytes;
    s.width = static_cast<int>(be32(16));
    s.height = static_cast<int>(be32(20));
    s.lineHeight = s.height / 16;
    TGlyphRects cells{};
    for (int b = 0; b < 256; ++b)
        if (!IsSheetControl(static_cast<uint8_t>(b)))
            cells[b] = TGlyphRect{static_cast<uint16_t>(s.lineHeight * (b % 16)), static_cast<uint8_t>(b / 16),
                                  static_cast<uint8_t>(s.lineHeight * 3 / 4)};
    s.map = FontMapBytes(s.lineHeight, cells);
    return s;
}

// The words layout's font: the sizes that fit, rendered with the glyphs of
// the used bytes; the reader's own cells without the renderer.
std::vector<TFontSheet> fitSheets(const TBuildRequest& request, const TUsedBytes& used,
                                  const std::vector<TExtractedMember>& templateMembers,
                                  std::vector<std::string>& warnings)
{
    if (!request.renderSheet) {
        // Built without the font renderer: the reader's own cell font, one size.
        TFontSheet cells = CellSheet(templateMembers);
        warnings.push_back("warning: this program was built without the font renderer (Qt): the words "
                           "layout reads in the reader's own font of " + std::to_string(cells.lineHeight) +
                           "-pixel cells, one size");
        return {cells};
    }
    const TFontChoice font = request.font.useCustomFont ? request.font.font : DefaultSheetFont();
    const uint64_t jarShare = (request.maxJar ? request.maxJar : kPhoneSafeJar) / 4;
    const uint64_t heap = request.heap ? request.heap : kPhoneHeap;
    const uint64_t heapShare = heap * kFontHeapPercent / 100;
    std::vector<TFontSheet> sheets;
    for (int size : request.sizes) {
        TFontSheet sheet = request.renderSheet(font, size, used);
        if (sheet.png.size() > jarShare) {
            warnings.push_back("warning: font size " + std::to_string(size) + " px left out: its image is " +
                               std::to_string(sheet.png.size()) + " bytes, more than a quarter of the jar (" +
                               std::to_string(jarShare) + " bytes)");
            continue;
        }
        if (sheet.DecodedSize() > heapShare) {
            warnings.push_back("warning: font size " + std::to_string(size) + " px left out: its image decodes to " +
                               kilobytes(sheet.DecodedSize()) + ", more than " +
                               std::to_string(kFontHeapPercent) + "% of a phone's " + kilobytes(heap) +
                               " heap");
            continue;
        }
        sheets.push_back(std::move(sheet));
    }
    if (sheets.empty())
        throw Error("The font \"" + cp1251ToUtf8(font.name) + "\" does not fit a phone at any of the sizes " +
                    sizesText(request.sizes) + " for " + request.projectPath +
                    ": choose smaller sizes or a smaller font");
    return sheets;
}

// The words layout's font: the sizes that fit, rendered with the glyphs of
// the bytes the book uses; the texts are read (and hyphenated) once here.
void buildFontSheets(const TBuildRequest& request, ITopicSequence& topics, const THyphenator* hyphenator,
                     const std::vector<std::string>& names, const std::string& book, TBookInput& input,
                     TBuildResult& r)
{
    const int level = BuildLevel(request);
    TUsedBytes used = BookBytes(book, names);
    TDeflater deflater;
    int64_t plain = 0, hyphenated = 0;
    for (size_t i = 0; i < topics.Count(); ++i) {
        const std::string text = topics.Text(i);
        AddUsedBytes(used, text);
        if (hyphenator) {
            size_t added = 0;
            const std::string withHyphens = hyphenator->Hyphenate(text, &added);
            r.hyphensAdded += added;
            if (added) {
                plain += static_cast<int64_t>(packedTextSize(text, deflater, level));
                hyphenated += static_cast<int64_t>(packedTextSize(withHyphens, deflater, level));
            }
        }
    }
    r.hyphenJarBytes = hyphenated - plain;

    const std::vector<TFontSheet> sheets = fitSheets(request, used, input.templateMembers, r.fontWarnings);
    input.fontSheets.clear();
    const uint64_t heap = request.heap ? request.heap : kPhoneHeap;
    const uint64_t heapShare = heap * kFontHeapPercent / 100;
    uint64_t total = 0;
    for (size_t k = 0; k < sheets.size(); ++k) {
        const std::string stem = "images/Font" + std::to_string(k + 1);
        input.fontSheets.emplace_back(stem + ".png", sheets[k].png);
        input.fontSheets.emplace_back(stem + ".map", sheets[k].map);
        r.sheets.push_back({sheets[k].lineHeight, sheets[k].png.size(), sheets[k].map.size(), sheets[k].DecodedSize()});
        total += sheets[k].DecodedSize();
    }
    if (total > heapShare)
        r.fontWarnings.push_back("warning: the font images decode to " + kilobytes(total) + " together, more than " +
                                 std::to_string(kFontHeapPercent) + "% of a phone's " + kilobytes(heap) +
                                 " heap: fewer or smaller sizes leave the reader more room");
}

} // namespace

TUsedBytes BookBytes(const std::string& bookName, const std::vector<std::string>& names)
{
    TUsedBytes used = ReaderBytes();
    AddUsedBytes(used, bookName);
    AddUsedBytes(used, EmptyNote(names));
    for (const std::string& name : names)
        AddUsedBytes(used, name);
    return used;
}

std::vector<TFontSheet> WordsFontSheets(const TBuildRequest& request, const TUsedBytes& used,
                                        std::vector<std::string>* warnings)
{
    std::vector<std::string> ignored;
    std::vector<TExtractedMember> templateMembers;
    if (!request.renderSheet) {
        TNoProgress quiet;
        templateMembers = readTemplate(quiet);
    }
    return fitSheets(request, used, templateMembers, warnings ? *warnings : ignored);
}

std::string GridFontPng(const TBuildRequest& request, const TFontRenderer& renderFont)
{
    if (request.font.useCustomFont && renderFont)
        return renderFont(request.font.font);
    TNoProgress quiet;
    for (const TExtractedMember& m : readTemplate(quiet))
        if (m.name == "images/Font.png")
            return m.bytes;
    throw Error("The reader template has no font image images/Font.png");
}

std::string BookNameOf(const TBuildRequest& request)
{
    return request.title.empty() ? TBookFolder(request.projectPath, request.outFolder).BookName() : request.title;
}

int BuildLevel(const TBuildRequest& request)
{
    if (request.level >= 1 && request.level <= 12)
        return request.level;
    return request.maxJar ? kBudgetLevel : kQuickLevel;
}

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
    for (const TBuiltSheet& s : r.sheets)
        lines.push_back("font " + std::to_string(s.size) + " px: image " + std::to_string(s.pngBytes) +
                        " bytes, decoded " + kilobytes(s.decoded) + " (" + std::to_string(s.decoded) +
                        " bytes at 16 bits a pixel), map " + std::to_string(s.mapBytes) + " bytes");
    for (const std::string& w : r.fontWarnings)
        lines.push_back(w);
    if (r.hyphenated)
        lines.push_back("hyphens: " + std::to_string(r.hyphensAdded) + " break points added (" +
                        std::to_string(r.hyphensAdded) + " bytes of text, " + std::to_string(r.hyphenJarBytes) +
                        " bytes packed)");
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
    TBookFolder bookFolder(request.projectPath, request.outFolder);
    if (request.font.useCustomFont && !renderFont && request.layout != TReaderLayout::Words)
        throw Error("Cannot render the custom font " + request.font.font.name + " of " + request.projectPath +
                    ": this program was built without the font renderer (Qt); switch the custom font off "
                    "to use the reader's own font");
    const bool words = request.layout == TReaderLayout::Words;
    if (words && !request.renderSheet && request.font.useCustomFont)
        throw Error("Cannot render the custom font " + request.font.font.name + " of " + request.projectPath +
                    ": this program was built without the font renderer (Qt); switch the custom font off "
                    "to use the reader's own font");
    if (words && (request.sizes.empty() || request.sizes.size() > kMaxSheetSizes ||
                  !ParseSheetSizes(SheetSizesText(request.sizes))))
        throw Error("The font sizes " + SheetSizesText(request.sizes) + " of " + request.projectPath +
                    " are not 1 to 3 different sizes of " + std::to_string(kMinSheetSize) + " to " +
                    std::to_string(kMaxSheetSize) + " pixels");
    // The patterns are loaded before anything is written: missing ones refuse the build.
    std::optional<THyphenator> hyphenator;
    if (words && request.hyphens)
        hyphenator.emplace();
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

    // The custom font's image replaces the template's sample; the words
    // layout has its own sheets instead.
    if (request.font.useCustomFont && !words) {
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
    if (words) {
        progress.Progress(TBuildStage::FontImage, 0, 1);
        buildFontSheets(request, topics, hyphenator ? &*hyphenator : nullptr, input.names, book, input, r);
        r.hyphenated = hyphenator.has_value();
        progress.Progress(TBuildStage::FontImage, 1, 1);
    }
    std::optional<THyphenatedTopics> hyphenated;
    if (hyphenator)
        hyphenated.emplace(topics, *hyphenator);
    ITopicSequence& texts = hyphenated ? static_cast<ITopicSequence&>(*hyphenated) : topics;

    // Every member as a book's jar packs it: deflated at the build's level
    // (with the strongest deflate's flag bits), archives stored, names in the
    // OEM code page. The entries carry the time of the
    // build (the clock); the user's files are packed and stay where they are.
    TJarSettings settings;
    settings.Level = BuildLevel(request);
    r.level = settings.Level;
    input.userFiles = bookFolder.UserFiles(OwnMemberNames(input), count, settings,
                                           input.layout == TReaderLayout::Words, &r.skipped);
    input.readUserFile = [&bookFolder](const TUserFile& f, uint64_t max) { return bookFolder.ReadUserFile(f, max); };
    input.openScratch = [&bookFolder] { return bookFolder.OpenScratch(); };

    TPackPool pool(request.threads);
    TBookJars jars(std::move(input), texts, settings, pool, request.clock);
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
    // Whatever a failure leaves staged goes with it.
    struct TStagedGuard {
        const TBookFolder& folder;
        ~TStagedGuard() { folder.DropStaged(); }
    } staged{bookFolder};
    auto stagedPath = [&](const std::string& name) { return bookFolder.StagedPath(name); };
    TBookJars::TWritten single =
        writeJar(jars, whole, r.jarPath, stagedPath(stem + ".jar"), stopAbove, progress);

    std::vector<std::string> lines;
    if (single.complete) {
        for (TJarEntry& e : whole.entries)
            e.end = jars.TextSize(e.topic);
        progress.Progress(TBuildStage::Finishing, 0, 1);
        lines = jars.ManifestLines(whole);
        r.manifestPath = folder + "manifest.mf";
        SaveLines(stagedPath("manifest.mf"), lines);
        r.jarSize = fileSize(stagedPath(stem + ".jar"));
        r.jadPath = folder + stem + ".jad";
        SaveLines(stagedPath(stem + ".jad"), DescriptorLines(lines, stem + ".jar", r.jarSize));
        r.packedFiles = single.members;
        r.jars.push_back({r.jarPath, r.jadPath, r.jarSize, r.packedFiles, whole.entries});
        bookFolder.PutInPlace({stem + ".jar", stem + ".jad", "manifest.mf"});
        progress.Progress(TBuildStage::Finishing, 1, 1);
        progress.Status(kStatusDone);
        return r;
    }

    // Volumes, each within the budget as written; one that came out larger
    // than planned makes the plan start again with that much less room.
    const uint64_t smallest = count == 0 ? jars.Size(whole) : SmallestBudget(jars, book);
    if (request.maxJar < smallest) {
        // Every volume carries the user's files: the largest is named when it
        // alone is past the budget.
        std::string files;
        if (const auto largest = jars.LargestUserFile(); largest && largest->second >= request.maxJar)
            files = "; the book folder's file " + largest->first + " alone takes " +
                    std::to_string(largest->second) + " bytes of every volume";
        throw Error("The jar budget of " + std::to_string(request.maxJar) +
                    " bytes is too small for this book: the reader and one part of a topic need at least " +
                    std::to_string(smallest) + " bytes, the smallest possible budget" + files);
    }
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
            TBookJars::TWritten w =
                writeJar(jars, jarSpec, path, stagedPath(jarSpec.fileName + ".jar"), std::nullopt, progress);
            const uint64_t size = fileSize(stagedPath(jarSpec.fileName + ".jar"));
            over = std::max(over, size > request.maxJar ? size - request.maxJar : 0);
            const std::vector<std::string> specLines = jars.ManifestLines(jarSpec);
            const std::string jad = folder + jarSpec.fileName + ".jad";
            SaveLines(stagedPath(jarSpec.fileName + ".jad"), DescriptorLines(specLines, jarSpec.fileName + ".jar", size));
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
    SaveLines(stagedPath("manifest.mf"), lines);
    std::vector<std::string> outputs;
    for (const TJarSpec& jarSpec : plan) {
        outputs.push_back(jarSpec.fileName + ".jar");
        outputs.push_back(jarSpec.fileName + ".jad");
    }
    outputs.push_back("manifest.mf");
    bookFolder.PutInPlace(outputs);
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
