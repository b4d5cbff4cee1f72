// ZIP archives as the template reader takes them: examining from the end
// record, listing the central directory and extracting every member into a
// scratch folder, and the same archive held in memory extracted into memory.
// Nothing may be written outside that folder.
#include "archive/Unzip.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct TScratch {
    fs::path root, work, out;
    TScratch()
    {
        std::string tmpl = (fs::exists("/dev/shm") ? "/dev/shm" : "/tmp") + std::string("/fuzzunzipXXXXXX");
        if (!mkdtemp(tmpl.data()))
            std::abort();
        root = tmpl;
        work = root / "l1" / "l2";      // room above the extract folder to notice escapes
        out = work / "out";
        fs::create_directories(out);
    }
    ~TScratch() { fs::remove_all(root); }
};

TScratch& scratch()
{
    static TScratch s;
    return s;
}

bool inside(const fs::path& p, const fs::path& dir)
{
    std::string a = fs::weakly_canonical(p).lexically_normal().string();
    std::string d = fs::weakly_canonical(dir).lexically_normal().string() + "/";
    return a.rfind(d, 0) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TScratch& s = scratch();
    // The file's extension decides between the jar and the zip rule for
    // folder members; the input's first byte picks one.
    fs::path archive = s.work / ((size && (data[0] & 1)) ? "a.jar" : "a.zip");
    {
        std::ofstream f(archive, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    volm::TUnJar un;
    un.FileSpec = {"*.*"};
    un.DateAttribute = volm::daSysDate;
    un.RestoreFileAttr = false;
    un.CreateStoredDirs = size > 1 && (data[1] & 1);
    un.OnBeginFile = [&](const std::string&, const std::string& path) {
        if (!inside(path, s.out))
            std::abort();
    };
    un.OnError = [](volm::TZipCommon&, const std::string&, const std::string&, const std::string&,
                    int code) {
        if (volm::zipErrorMessage(code).empty())
            std::abort();
    };
    un.SetArchiveFile(archive.string());
    un.SetExtractDir(s.out.string());
    int n = un.Extract();
    if (n < 0)
        std::abort();

    // Only the archive and the extract folder's contents may exist.
    for (auto& e : fs::recursive_directory_iterator(s.root)) {
        const fs::path& p = e.path();
        if (p == s.root / "l1" || p == s.work || p == s.out || p == archive)
            continue;
        if (!inside(p, s.out) || e.is_symlink())
            std::abort();
    }
    fs::remove(archive);
    for (auto& e : fs::directory_iterator(s.out))
        fs::remove_all(e.path());

    // In memory: the members that pass come whole, and nothing is written.
    volm::TUnJar mem;
    mem.FileSpec = {"*.*"};
    mem.SetArchiveData({data, size}, archive.filename().string());
    for (const volm::TExtractedMember& m : mem.ExtractToMemory())
        if (m.name.empty())
            std::abort();
    return 0;
}
