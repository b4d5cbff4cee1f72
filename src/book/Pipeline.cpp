#include "book/Pipeline.h"

#include "archive/Unzip.h"
#include "archive/Zip.h"
#include "book/Manifest.h"
#include "book/Resources.h"
#include "common/Errors.h"
#include "common/Fileio.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace volm {
namespace {

namespace fs = std::filesystem;

class TNoProgress : public IBuildProgress {
public:
    void Status(const std::string&) override {}
    void Progress(TBuildStage, uint64_t, uint64_t) override {}
};

// Files of the book folder that the jar takes in the same run: written
// safely, but not flushed to disk one by one.
TSafeWriteOptions workFile()
{
    TSafeWriteOptions o;
    o.durable = false;
    return o;
}

bool isDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Creates the book folder; an existing one is used as it is.
void makeBookFolder(const std::string& folder)
{
    if (::mkdir(folder.c_str(), 0777) == 0)
        return;
    const int err = errno; // before the test below sets its own
    if (isDirectory(folder))
        return;
    throw Error("Cannot create the book folder " + folder + ": " + systemMessage(err));
}

// Deletes a file when it is there; a failure is ignored (a file that stays
// is simply packed or replaced later).
void removeIfPresent(const std::string& path)
{
    ::unlink(path.c_str());
}

bool sameNameIgnoringCase(const std::string& a, const char* b)
{
    return sameText(a, b);
}

// The template's manifest is META-INF/MANIFEST.MF. File names on this system
// differ by case, so the book's manifest is written under exactly that name
// after every other spelling of it (in a folder spelled "meta-inf" in any
// case) has been removed: the jar then holds exactly one manifest.
std::string prepareManifestPath(const std::string& folder)
{
    std::error_code ec;
    for (fs::directory_iterator d(folder, ec), end; !ec && d != end; d.increment(ec)) {
        std::string dirName = d->path().filename().string();
        std::error_code ec2;
        if (!sameNameIgnoringCase(dirName, "META-INF") || !d->is_directory(ec2))
            continue;
        for (fs::directory_iterator f(d->path(), ec2), fend; !ec2 && f != fend; f.increment(ec2)) {
            std::string name = f->path().filename().string();
            if (sameNameIgnoringCase(name, "MANIFEST.MF") &&
                !(dirName == "META-INF" && name == "MANIFEST.MF"))
                removeIfPresent(f->path().string());
        }
    }
    return folder + "META-INF/MANIFEST.MF";
}

// The regular files below a folder (what the jar writer will pack).
uint64_t countFiles(const std::string& folder)
{
    uint64_t n = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (it->is_regular_file(ec2))
            ++n;
    }
    return n;
}

void unpackTemplate(const std::string& folder, IBuildProgress& progress)
{
    std::string tmpJar = folder + "tmp.jar";
    CopyResourceToFile(kTemplateResourceType, kTemplateResourceId, tmpJar, workFile());

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
    unjar.SetArchiveFile(tmpJar);
    unjar.SetExtractDir(folder);
    unjar.Extract();
    removeIfPresent(tmpJar);
    unjar.RaiseFailures("Cannot unpack the reader template into " + folder);
}

int packFolder(const std::string& folder, const std::string& jarPath, IBuildProgress& progress)
{
    uint64_t total = 0, done = 0;
    std::string lastFile;

    TJar jar;
    jar.SetDefaultExt(".jar");
    jar.CompressMethod = cmDeflate;
    jar.DeflateType = dtDeflateX;
    jar.Switch = swMove;
    jar.StoredDirNames = sdRelative;
    jar.RecurseDirs = true;
    jar.DateAttribute = daSysDate;
    jar.DeleteOptions = doFinal;
    jar.Attributes = {fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
    jar.OnProgress = [&](TProgressStage stage, const std::string& file) {
        if (stage == psPack && file != lastFile) {
            lastFile = file;
            ++done;
        }
        progress.Progress(TBuildStage::Packing, std::min(done, total), total);
    };
    jar.FileSpec.clear();
    jar.FileSpec.push_back(folder + "*.*");
    jar.SetArchiveFile(jarPath);
    removeIfPresent(jarPath);
    total = countFiles(folder);
    int packed = jar.Compress();

    try {
        jar.RaiseFailures("Cannot pack " + jarPath);
    } catch (const EArchiveError& e) {
        struct stat st {};
        if (::stat(jarPath.c_str(), &st) != 0)
            throw;
        throw EArchiveError(e.code(), e.what() + std::string("; the jar is incomplete and no descriptor was written"));
    }
    if (packed == 0)
        throw Error("Cannot pack " + jarPath + ": nothing was packed");
    return packed;
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

} // namespace

TBuildResult GenerateBook(const TBuildRequest& request, ITopicSequence& topics,
                          const TFontRenderer& renderFont, IBuildProgress* progressSink)
{
    TNoProgress quiet;
    IBuildProgress& progress = progressSink ? *progressSink : quiet;
    progress.Status(kStatusBuilding);

    TBuildResult r;
    r.bookName = BookName(request.projectPath);
    r.bookFolder = BookFolder(request.projectPath);
    const std::string& folder = r.bookFolder;
    // Refused before anything is written.
    if (request.font.useCustomFont && !renderFont)
        throw Error("Cannot render the custom font " + request.font.font.name + " of " + request.projectPath +
                    ": this program was built without the font renderer (Qt); switch the custom font off "
                    "to use the reader's own font");
    makeBookFolder(folder);

    // The reader template, unpacked into the book folder.
    unpackTemplate(folder, progress);

    // The book's manifest replaces the template's.
    progress.Progress(TBuildStage::Manifest, 0, 1);
    std::vector<std::string> lines = ManifestLines(r.bookName, request.url, request.vendor);
    SaveLines(prepareManifestPath(folder), lines, workFile());
    progress.Progress(TBuildStage::Manifest, 1, 1);

    // The custom font's image replaces the template's sample.
    if (request.font.useCustomFont) {
        progress.Progress(TBuildStage::FontImage, 0, 1);
        renderFont(request.font.font, folder + "images/Font.png");
        progress.Progress(TBuildStage::FontImage, 1, 1);
    }

    WriteDataFiles(
        folder, r.bookName, topics,
        [&](size_t done, size_t total) { progress.Progress(TBuildStage::DataFiles, done, total); },
        request.layout);

    // The outputs of an earlier run are not packed into the new jar.
    r.jarPath = folder + r.bookName + ".jar";
    r.jadPath = folder + r.bookName + ".jad";
    r.manifestPath = folder + "manifest.mf";
    removeIfPresent(r.manifestPath);
    removeIfPresent(r.jadPath);

    r.packedFiles = packFolder(folder, r.jarPath, progress);

    // The template's folders, emptied by packing; one that still holds files stays.
    progress.Progress(TBuildStage::Finishing, 0, 1);
    for (const char* sub : {"images/", "META-INF/", "texts/"})
        ::rmdir((folder + sub).c_str());

    SaveLines(r.manifestPath, lines);
    r.jarSize = fileSize(r.jarPath);
    SaveLines(r.jadPath, DescriptorLines(lines, r.bookName, r.jarSize));
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
