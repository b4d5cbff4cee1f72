#include "storage/Pack.h"

#include "common/Errors.h"
#include "storage/Componounddoc.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

// Creates an empty file "dtmXXXX.tmp" (XXXX hexadecimal) in `folder`,
// exclusively, so that no existing file is ever taken over.
std::string makeTempFile(const std::string& folder, mode_t mode)
{
    unsigned start = static_cast<unsigned>(
        (::getpid() * 2654435761u) ^ std::chrono::steady_clock::now().time_since_epoch().count());
    for (unsigned i = 0; i < 0x10000; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "dtm%X.tmp", (start + i) & 0xFFFF);
        std::string full = folder + name;
        int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::fchmod(fd, mode & 07777); // the packed file keeps the project's permissions
            ::close(fd);
            return full;
        }
        if (errno != EEXIST)
            throw Error("can't create a temporary file in " + (folder.empty() ? std::string(".") : folder) +
                        ": " + systemMessage(errno));
    }
    throw Error("can't create a temporary file in " + folder + ": every name is taken");
}

void syncPath(const std::string& path, bool folder)
{
    int fd = ::open(path.c_str(), (folder ? O_RDONLY | O_DIRECTORY : O_RDONLY) | O_CLOEXEC);
    if (fd < 0)
        throw Error("can't open " + path + " to flush it: " + systemMessage(errno));
    int rc = ::fsync(fd);
    int err = errno;
    ::close(fd);
    if (rc != 0)
        throw Error("can't flush " + path + " to disk: " + systemMessage(err));
}

std::map<std::string, uint64_t> streamsOf(TComponoundDocument& doc)
{
    std::list<TDocElem> elems;
    doc.EnumElements(elems);
    std::map<std::string, uint64_t> streams;
    for (const TDocElem& e : elems)
        if (e.type == STGTY_STREAM)
            streams[e.name] = e.size;
    return streams;
}

struct TempFile {
    std::string name;
    bool keep = false;
    ~TempFile()
    {
        if (!name.empty() && !keep)
            ::unlink(name.c_str());
    }
};

} // namespace

void PackProject(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        throw Error(path + ": can't pack: " + systemMessage(errno));
    if (!S_ISREG(st.st_mode))
        throw Error(path + ": can't pack: not a regular file");

    // Replace the file itself, also when the project is reached through a link.
    std::string target = path;
    struct stat lst;
    if (::lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode))
        target = std::filesystem::canonical(path).string();
    std::string folder = std::filesystem::path(target).parent_path().string();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';

    TempFile temp;
    try {
        std::unique_ptr<TComponoundDocument> held; // held until the rename: nobody else opens it meanwhile
        try {
            held = std::make_unique<TComponoundDocument>(target, kOpenMode);
        } catch (const EStorageError& e) {
            if (e.status() == STG_E_FILEALREADYEXISTS)
                throw Error("not a project file (not a compound file)");
            throw;
        }
        TComponoundDocument& source = *held;
        std::list<TDocElem> elems;
        source.EnumElements(elems);

        temp.name = makeTempFile(folder, st.st_mode);
        stage("temp");
        {
            TComponoundDocument packed(temp.name, kCreateMode);
            for (const TDocElem& e : elems) {
                if (e.type != STGTY_STREAM)
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
            TComponoundDocument check(temp.name, kOpenMode);
            if (streamsOf(check) != streamsOf(source))
                throw Error("the packed copy does not hold the same streams");
        }
        syncPath(temp.name, false);
        stage("flushed");
        stage("rename");
        if (::rename(temp.name.c_str(), target.c_str()) != 0)
            throw Error("can't replace the file with its packed copy: " + systemMessage(errno));
        temp.keep = true;
    } catch (const std::exception& e) {
        std::string msg = e.what();
        throw Error(msg.find(path) != std::string::npos ? "can't pack " + msg
                                                        : path + ": can't pack: " + msg);
    }
    // The packed file is in place; make the new name durable too.
    try {
        syncPath(folder.empty() ? std::string(".") : folder, true);
    } catch (const std::exception& e) {
        throw Error(path + ": packed, but " + e.what());
    }
}

} // namespace volm
