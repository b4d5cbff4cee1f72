#include "storage/Pack.h"

#include "common/Errors.h"
#include "common/Fileio.h"
#include "storage/Componounddoc.h"
#include "storage/Project.h"

#include <cerrno>
#include <list>
#include <map>
#include <memory>
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

} // namespace volm
