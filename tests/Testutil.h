#pragma once
// Helpers shared by the tests: scratch folders, whole-file reads and writes,
// running the outside tools (olefile, gsf, unzip, pngcheck, ...) that check
// the files we write.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace volm::test {

namespace fs = std::filesystem;

// Under ASan the shadow takes more address space than any limit allows, and
// its quarantine holds freed memory, so peaks and limits measure the
// sanitizer rather than our code.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

std::string readFile(const fs::path& p);
void writeFile(const fs::path& p, const std::string& bytes);
// The names of the entries directly in `dir`, sorted.
std::vector<std::string> fileNames(const fs::path& dir);
// The lines of `text` without their line feeds; nonEmptyLines leaves the
// empty ones out.
std::vector<std::string> splitLines(const std::string& text);
std::vector<std::string> nonEmptyLines(const std::string& text);

struct RunResult {
    int status = -1;    // exit status, or -1 when the program could not run
    int signal = 0;     // the signal that ended it, 0 when it exited
    std::string out;    // standard output
    std::string err;    // standard error
};

// Runs a program with arguments (no shell), feeding `input` on standard input.
RunResult run(const std::vector<std::string>& argv, const std::string& input = {});
// The same, calling `inChild` in the new process before the program starts
// (limits, another user).
RunResult run(const std::vector<std::string>& argv, const std::string& input, const std::function<void()>& inChild);

// Runs `body` in a forked process and returns what it returned as that
// process's exit status (125 when an exception escaped it), or -1 when a
// signal ended it. A `fileSizeLimit`
// above 0 keeps the process's files below that size: writes past it fail
// with EFBIG, as on a full disk.
int runInChild(const std::function<int()>& body, unsigned long fileSizeLimit = 0);

// True when `program` is found on PATH (or is an existing path).
bool haveProgram(const std::string& program);

// A python3 that can import every module in `modules` (Debian's own python3
// holds python3-olefile and Pillow), or "" when none can.
std::string pythonWith(const std::vector<std::string>& modules);

// The repository's root, the build folder, and the shared corpus folder
// (the latter may not exist in a user's clone).
fs::path sourceDir();
fs::path binaryDir();
fs::path corpusDir();

// Puts each file of the compound-file corpus (other programs' files, sound
// and damaged) in turn at `path`, calls `use`, and expects the file
// unchanged: for what only reads. Marks the test skipped, saying so, when the
// corpus is absent.
void expectCorpusFilesUnchanged(const fs::path& path, const std::function<void()>& use);

// Damages the compound file at `path` in place, in its directory: the entry
// of stream `hidden` gets a type no entry has (the file can then only be
// read, and that stream is never listed), and the chain of stream `broken`
// starts far beyond the file's end (listed, but it can't be opened). Either
// name may be empty. Fails the test when a named stream has no entry.
void damageCompoundFile(const fs::path& path, const std::string& hidden, const std::string& broken);

// In CI (CI=true in the environment) a case that skips fails the run unless
// tests/Ciskips.h declares it: call before RUN_ALL_TESTS. Every test main
// does (Testmain.cpp, the GUI tests' and the CLI cases' own).
void failUndeclaredSkipsInCi();

} // namespace volm::test
