#include "book/Pipeline.h"

#include "archive/Unzip.h"
#include "archive/Zip.h"
#include "book/Manifest.h"
#include "book/Resources.h"
#include "book/Volumes.h"
#include "common/Codepage.h"
#include "common/Errors.h"
#include "common/Fd.h"
#include "common/Fileio.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

std::string withoutSlash(const std::string& folder)
{
    return folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
}

// The book name must name a folder of its own beside the project file.
void checkBookName(const std::string& name, const std::string& projectPath)
{
    if (name == "." || name == "..")
        throw Error("The project file " + projectPath + " gives the book name \"" + name +
                    "\", which names no folder of its own: rename the project file");
    if (withoutSlash(BookFolder(projectPath)) == projectPath)
        throw Error("The project file " + projectPath +
                    " has no extension, so its book folder would be the project file itself: "
                    "give it the extension .volm");
}

// Creates the book folder; an existing one is used as it is, unless it is a
// symbolic link (the build would write into, and replace files of, a folder
// that is not the book's).
void makeBookFolder(const std::string& folder)
{
    const std::string path = withoutSlash(folder);
    for (int attempt = 0; attempt < 2; ++attempt) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (S_ISLNK(st.st_mode))
                throw Error("The book folder " + folder +
                            " is a symbolic link: the build writes only into a folder of its own "
                            "(remove the link, or move what it leads to there)");
            if (S_ISDIR(st.st_mode))
                return;
            throw Error("Cannot create the book folder " + folder + ": " + systemMessage(EEXIST) +
                        " (a file of that name is in the way)");
        }
        if (::mkdir(path.c_str(), 0777) == 0)
            return;
        const int err = errno; // the cause of this step, before anything else can change it
        if (err != EEXIST)
            throw Error("Cannot create the book folder " + folder + ": " + systemMessage(err));
    }
    throw Error("Cannot create the book folder " + folder + ": " + systemMessage(EEXIST));
}

// Held for the whole build: a second build into the same folder is refused,
// and the temporary files there that carry the build's names are stale.
class TFolderLock {
public:
    explicit TFolderLock(const std::string& folder)
        : fd_(::open(withoutSlash(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC))
    {
        if (fd_.get() < 0) {
            const int err = errno;
            if (err == ELOOP || err == ENOTDIR)
                throw Error("The book folder " + folder + " is a symbolic link: the build writes only into "
                            "a folder of its own");
            throw Error("Cannot open the book folder " + folder + ": " + systemMessage(err));
        }
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            if (err == EWOULDBLOCK)
                throw Error("Another build is writing the book folder " + folder + ": try again when it is done");
            throw Error("Cannot lock the book folder " + folder + ": " + systemMessage(err));
        }
    }

private:
    TFd fd_;
};

// The names of the files in the book folder that a build writes: the jar,
// the jad, manifest.mf and the volumes' jars and jads.
bool isOutputName(const std::string& name, const std::string& book)
{
    if (name == book + ".jar" || name == book + ".jad" || name == "manifest.mf")
        return true;
    if (name.size() < book.size() + 6 || name.compare(0, book.size() + 1, book + "-") != 0)
        return false;
    const std::string ext = name.substr(name.size() - 4);
    if (ext != ".jar" && ext != ".jad")
        return false;
    const std::string number = name.substr(book.size() + 1, name.size() - book.size() - 5);
    return !number.empty() && number[0] != '0' &&
           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number of a volume's jar or jad name, 0 for the single jar's.
size_t volumeNumber(const std::string& name, const std::string& book)
{
    if (name.size() <= book.size() + 5 || name.compare(0, book.size() + 1, book + "-") != 0)
        return 0;
    return static_cast<size_t>(std::stoull(name.substr(book.size() + 1, name.size() - book.size() - 5)));
}

std::vector<std::string> listFolder(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* d = ::opendir(folder.c_str());
    if (!d)
        return names;
    while (struct dirent* e = ::readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(std::move(name));
    }
    ::closedir(d);
    return names;
}

// An output the build will replace must be a plain file: through a link the
// build would write over (or remove) a file that is not the book's.
void checkOutputs(const std::string& folder, const std::string& book)
{
    std::vector<std::string> names = listFolder(folder);
    for (const std::string& name : names) {
        if (!isOutputName(name, book))
            continue;
        struct stat st {};
        if (::lstat((folder + name).c_str(), &st) != 0)
            continue;
        if (S_ISLNK(st.st_mode))
            throw Error("The book folder's " + name + " (" + folder + name +
                        ") is a symbolic link: the build replaces only files of its own; move it away");
        if (!S_ISREG(st.st_mode))
            throw Error("The book folder's " + name + " (" + folder + name +
                        ") is not a regular file: the build replaces only files of its own; move it away");
    }
}

// A build killed while it wrote leaves the temporary file of one of its
// outputs (".Tales.jar.volm-XXXXXX"); with the folder locked, any such file
// is stale. Nothing else is touched.
void removeStaleTemps(const std::string& folder, const std::string& book)
{
    for (const std::string& name : listFolder(folder)) {
        if (!IsSafeWriteTemp(name))
            continue;
        const size_t mark = name.rfind(".volm-");
        if (mark == std::string::npos || mark < 2 || !isOutputName(name.substr(1, mark - 1), book))
            continue;
        struct stat st {};
        if (::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink((folder + name).c_str());
    }
}

// Removes outputs of an earlier build that this one did not replace: the
// single jar and jad when there are volumes, volumes when there is a single
// jar, or volumes past the new last one.
void removeOldOutputs(const std::string& folder, const std::string& book, size_t volumes)
{
    for (const std::string& name : listFolder(folder)) {
        if (!isOutputName(name, book) || name == "manifest.mf")
            continue;
        const size_t k = volumeNumber(name, book);
        const bool keep = volumes == 0 ? k == 0 : (k >= 1 && k <= volumes);
        struct stat st {};
        if (!keep && ::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            ::unlink((folder + name).c_str());
    }
}

// The template's members, read from the program's resources into memory.
std::vector<TExtractedMember> readTemplate(IBuildProgress& progress)
{
    std::span<const uint8_t> bytes = FindResource(kTemplateResourceType, kTemplateResourceId);
    uint64_t members = 0;
    std::string lastMember;
    TUnJar unjar;
    unjar.FileSpec = {"*.*"};
    unjar.DateAttribute = daSysDate;
    unjar.RestoreFileAttr = false;
    unjar.CpuType = cptAuto;
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

// True when a user's file `name` and a member `ours` can't both be in a jar:
// the same name (letter case aside), or one names a folder of the other.
bool clashes(const std::string& name, const std::string& ours)
{
    auto prefix = [](const std::string& a, const std::string& b) {
        return a.size() > b.size() && a[b.size()] == '/' && sameText(std::string_view(a).substr(0, b.size()), b);
    };
    return sameText(name, ours) || prefix(name, ours) || prefix(ours, name);
}

// The files the user put into the book folder, in the order of the folder
// listing, depth first, as the jar writer would scan them: hidden and linked
// folders are not entered; the build's outputs and temporary files, and files
// that clash with the book's own members (which take their place in the jar),
// are left out. None of them is changed.
std::vector<TBookInput::TUserFile> scanUserFiles(const std::string& folder, const std::string& book,
                                                 const std::vector<std::string>& ours, size_t topics,
                                                 const TJar& jar)
{
    std::vector<TBookInput::TUserFile> files;
    auto ourText = [&](const std::string& name) {
        if (name.size() <= 9 || !sameText(std::string_view(name).substr(0, 9), "texts/itm"))
            return false;
        const std::string number = name.substr(9);
        if (number[0] == '0' || number.size() > 18 ||
            !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return false;
        const uint64_t n = std::stoull(number);
        return n >= 1 && n <= std::max<size_t>(topics, 1);
    };
    std::function<void(const std::string&, const std::string&)> scan = [&](const std::string& dir,
                                                                           const std::string& rel) {
        for (const std::string& name : listFolder(dir)) {
            const std::string full = dir + name;
            struct stat st {};
            if (::lstat(full.c_str(), &st) != 0)
                continue;
            const bool link = S_ISLNK(st.st_mode);
            if (link && ::stat(full.c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode)) {
                if (!link && name[0] != '.')
                    scan(full + '/', rel + name + '/');
                continue;
            }
            if (!S_ISREG(st.st_mode) || IsSafeWriteTemp(name) || (rel.empty() && isOutputName(name, book)))
                continue;
            const std::string stored = rel + name;
            if (ourText(stored) ||
                std::any_of(ours.begin(), ours.end(), [&](const std::string& o) { return clashes(stored, o); }))
                continue;
            uint32_t attrs = 0x20;
            if ((st.st_mode & 0222) == 0)
                attrs |= 0x01;
            if (name[0] == '.')
                attrs |= 0x02;
            files.push_back({full, jar.TranslateOemChar ? ansiToOem(stored) : stored, attrs});
        }
    };
    scan(folder, {});
    return files;
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
    if (r.jars.size() == 1 && r.maxJar == 0 && r.jarSize > kPhoneSafeJar)
        lines.push_back("warning: the jar is " + kilobytes(r.jarSize) + " (" + std::to_string(r.jarSize) +
                        " bytes); many phones refuse a jar over 64 KB: " + budgetHint);
    return lines;
}

TBuildResult GenerateBook(const TBuildRequest& request, ITopicSequence& topics,
                          const TFontRenderer& renderFont, IBuildProgress* progressSink)
{
    TNoProgress quiet;
    IBuildProgress& progress = progressSink ? *progressSink : quiet;
    progress.Status(kStatusBuilding);

    TBuildResult r;
    r.bookName = BookName(request.projectPath);
    checkBookName(r.bookName, request.projectPath);
    r.bookFolder = BookFolder(request.projectPath);
    r.maxJar = request.maxJar;
    const std::string& folder = r.bookFolder;
    const std::string& book = r.bookName;
    // Refused before anything is written.
    if (request.font.useCustomFont && !renderFont)
        throw Error("Cannot render the custom font " + request.font.font.name + " of " + request.projectPath +
                    ": this program was built without the font renderer (Qt); switch the custom font off "
                    "to use the reader's own font");
    makeBookFolder(folder);
    TFolderLock lock(folder);
    checkOutputs(folder, book);
    removeStaleTemps(folder, book);

    // The reader template, read into memory.
    TBookInput input;
    input.templateMembers = readTemplate(progress);

    // The book's manifest replaces the template's.
    progress.Progress(TBuildStage::Manifest, 0, 1);
    input.url = request.url;
    input.vendor = request.vendor;
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

    TJar jar;
    jar.SetDefaultExt(".jar");
    jar.CompressMethod = cmDeflate;
    jar.DeflateType = dtDeflateX;
    jar.Switch = swAdd; // the user's files stay where they are
    jar.StoredDirNames = sdRelative;
    jar.RecurseDirs = true;
    jar.DateAttribute = daSysDate;
    jar.DeleteOptions = doFinal;
    jar.Attributes = {fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};

    input.userFiles = scanUserFiles(folder, book, OwnMemberNames(input), count, jar);

    TPackPool pool(request.threads);
    TBookJars jars(std::move(input), topics, jar, pool, request.clock);
    r.jarPath = folder + book + ".jar";
    try {
        jars.PackShared();
    } catch (const Error&) {
        rethrowPacking(r.jarPath);
    }

    // The whole book as one jar, as long as it stays within the budget.
    TJarSpec whole;
    whole.midletName = book;
    whole.fileName = book;
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
        r.jadPath = folder + book + ".jad";
        SaveLines(r.jadPath, DescriptorLines(lines, book, r.jarSize));
        r.packedFiles = single.members;
        r.jars.push_back({r.jarPath, r.jadPath, r.jarSize, r.packedFiles, whole.entries});
        removeOldOutputs(folder, book, 0);
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
        r.jars.clear();
        uint64_t over = 0;
        for (const TJarSpec& jarSpec : plan) {
            const std::string path = folder + jarSpec.fileName + ".jar";
            TBookJars::TWritten w = writeJar(jars, jarSpec, path, std::nullopt, progress);
            const uint64_t size = fileSize(path);
            over = std::max(over, size > request.maxJar ? size - request.maxJar : 0);
            const std::vector<std::string> specLines = jars.ManifestLines(jarSpec);
            const std::string jad = folder + jarSpec.fileName + ".jad";
            SaveLines(jad, DescriptorLines(specLines, jarSpec.fileName, size));
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
    removeOldOutputs(folder, book, plan.size());
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
