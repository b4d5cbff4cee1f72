#include "storage/Pack.h"

#include "common/Errors.h"
#include "common/Fd.h"
#include "common/Fileio.h"
#include "storage/Componounddoc.h"
#include "storage/Fontrecord.h"
#include "storage/Project.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <list>
#include <map>
#include <memory>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>

namespace volm {

std::function<void(const char* stage)> PackFaultHook;

namespace {

constexpr uint32_t kOpenMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;                 // 0x12
constexpr uint32_t kCreateMode = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE; // 0x1012

void stage(const char* name)
{
    if (PackFaultHook)
        PackFaultHook(name);
}

// What an append cut short left (TProject::AppendTopics): never listed, so
// never carried into the packed copy.
bool leftByAnAppend(const std::string& name)
{
    return name.rfind(kAddingPrefix, 0) == 0;
}

std::map<std::string, uint64_t> streamsOf(TComponoundDocument& doc)
{
    std::list<TDocElem> elems;
    doc.EnumElements(elems);
    std::map<std::string, uint64_t> streams;
    for (const TDocElem& e : elems)
        if (e.type == STGTY_STREAM && !leftByAnAppend(e.name))
            streams[e.name] = e.size;
    return streams;
}

} // namespace

void PackProject(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        throw Error(path + ": can't pack: " + systemMessage(errno));
    if (!S_ISREG(st.st_mode))
        throw Error(path + ": can't pack: not a regular file");

    try {
        // Held until the packed copy is in place: nobody else opens it meanwhile.
        std::unique_ptr<TComponoundDocument> held;
        try {
            held = std::make_unique<TComponoundDocument>(path, kOpenMode);
        } catch (const EStorageError& e) {
            if (e.status() == STG_E_FILEALREADYEXISTS)
                throw Error("not a project file (not a compound file)");
            throw;
        }
        TComponoundDocument& source = *held;
        // Packs of this project that were cut short (a killed process) left
        // their temporary files; with the project locked none is running.
        RemoveStaleTemps(path);
        std::list<TDocElem> elems;
        source.EnumElements(elems);

        // The packed copy replaces the file itself (a link to it stays) and
        // keeps its permissions; whoever could open it for writing above may
        // replace it.
        TSafeWriteOptions options;
        options.refuseReadOnly = false;
        TSafeFile temp(path, options);
        temp.Close(); // the compound-file engine writes it by name
        stage("temp");
        {
            TComponoundDocument packed(temp.TempPath(), kCreateMode);
            for (const TDocElem& e : elems) {
                if (e.type != STGTY_STREAM || leftByAnAppend(e.name))
                    continue; // sub-storages are not the program's and are not carried
                TDocStream in, out;
                source.OpenStream(in, e.name, kOpenMode);
                packed.CreateStream(out, e.name, kOpenMode);
                uint64_t size = in.Stream()->Size();
                uint64_t copied = size ? out.Stream()->CopyFrom(*in.Stream(), 0) : 0;
                if (copied != size || out.Stream()->Size() != size)
                    throw Error("stream " + e.name + " was not copied completely");
                out.Close();
                in.Close();
            }
            packed.Commit();
        }
        stage("copied");
        {
            // The packed file must hold exactly the source's streams.
            TComponoundDocument check(temp.TempPath(), kOpenMode);
            if (streamsOf(check) != streamsOf(source))
                throw Error("the packed copy does not hold the same streams");
        }
        temp.Flush();
        stage("flushed");
        stage("rename");
        temp.Commit();
    } catch (const std::exception& e) {
        std::string msg = e.what();
        throw Error(msg.find(path) != std::string::npos ? "can't pack " + msg
                                                        : path + ": can't pack: " + msg);
    }
}

namespace {

// The project's own streams besides its topics, as the project stores them.
const char* const kFontStream = "0";
const char* const kBuildsStream = "Builds";

// The streams a copy writes besides the topics, in the order it writes them:
// each as the project read it, none that was missing or could not be read.
std::vector<std::pair<std::string, std::string>> ownStreams(const TProject& project,
                                                            const std::set<std::string>& present)
{
    const auto& skipped = project.SkippedElements();
    auto readable = [&](const char* name) {
        return present.count(name) && std::find(skipped.begin(), skipped.end(), name) == skipped.end();
    };
    std::vector<std::pair<std::string, std::string>> out;
    if (readable(kFontStream)) {
        TMemoryStream font;
        WriteFontSettings(font, project.FontSettings());
        out.emplace_back(kFontStream, font.Data());
    }
    if (auto layout = project.Layout())
        out.emplace_back("Layout", LayoutName(*layout));
    if (auto style = project.Paragraphs())
        out.emplace_back("Paragraphs", ParagraphsName(*style));
    if (auto sizes = project.SheetSizes())
        out.emplace_back("Sizes", *sizes);
    if (auto hyphens = project.Hyphens())
        out.emplace_back("Hyphens", *hyphens ? "on" : "off");
    if (!project.Title().empty())
        out.emplace_back("Title", project.Title());
    if (!project.OutputFolder().empty())
        out.emplace_back("Folder", project.OutputFolder());
    if (readable(kBuildsStream))
        out.emplace_back(kBuildsStream, std::to_string(project.BuildCount()));
    return out;
}

} // namespace

TProjectCopy CopyProject(const TProject& project, const std::string& target, bool replace)
{
    if (!project.IsOpen())
        throw Error(target + ": can't copy: no project is open");
    TProjectCopy done;
    try {
        struct stat st;
        const bool exists = ::stat(target.c_str(), &st) == 0;
        if (!exists && errno != ENOENT)
            throw Error(systemMessage(errno));
        if (exists) {
            if (S_ISDIR(st.st_mode))
                throw Error("is a folder, not a project file");
            if (!replace)
                throw Error("the file already exists");
            struct stat own;
            if (::stat(project.Path().c_str(), &own) == 0 && own.st_dev == st.st_dev && own.st_ino == st.st_ino)
                throw Error("it is the project's own file");
        }
        // A file that is replaced is held until the copy is in place; one
        // that another window or program has open is left to it.
        TFd held(exists ? ::open(target.c_str(), O_RDONLY | O_CLOEXEC) : -1);
        if (held.get() >= 0 && ::flock(held.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            throw Error("the file is open in another window or program");

        std::list<TDocElem> elems;
        project.Document()->EnumElements(elems);
        std::set<std::string> present;
        for (const TDocElem& e : elems)
            present.insert(e.name);
        done.skipped = project.SkippedElements();

        TSafeWriteOptions options;
        options.replace = replace;
        TSafeFile temp(target, options);
        temp.Close(); // the compound-file engine writes it by name
        {
            TComponoundDocument copy(temp.TempPath(), kCreateMode);
            for (const auto& [name, bytes] : ownStreams(project, present)) {
                TDocStream out;
                copy.CreateStream(out, name, bytes);
                out.Close();
                done.streams.push_back(name);
            }
            // One text at a time: a topic that can't be read now stays out too.
            for (size_t i = 0; i < project.TopicCount(); ++i) {
                const TTopicNode& topic = project.Topic(i);
                std::string content;
                try {
                    content = TJSDataItem::TopicContent(topic.Name, project.GetText(i));
                } catch (const std::exception&) {
                    done.skipped.push_back(topic.Item->Key);
                    continue;
                }
                TDocStream out;
                copy.CreateStream(out, topic.Item->Key, content);
                out.Close();
                ++done.topics;
            }
            copy.Commit();
        }
        stage("copied");
        {
            // The copy must open as a sound project holding all that was written.
            TProject check;
            check.Open(temp.TempPath(), TProject::omReadOnly);
            if (check.TopicCount() != done.topics || !check.SkippedElements().empty())
                throw Error("the copy does not read back as it was written");
        }
        temp.Flush();
        stage("rename");
        temp.Commit();
    } catch (const std::exception& e) {
        std::string msg = e.what();
        throw Error(msg.find(target) != std::string::npos ? msg : target + ": can't copy the project: " + msg);
    }
    return done;
}

} // namespace volm
