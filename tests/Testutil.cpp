#include "Testutil.h"
#include "Ciskips.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <csignal>
#include <poll.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace volm::test {

TempDir::TempDir()
{
    std::random_device rd;
    for (int i = 0; i < 100; ++i) {
        fs::path p = fs::temp_directory_path() / ("volm-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Folders a test made read-only must become writable again to be removed.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + p.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const fs::path& p, const std::string& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + p.string());
}

std::vector<std::string> fileNames(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

std::vector<std::string> nonEmptyLines(const std::string& text)
{
    std::vector<std::string> out = splitLines(text);
    out.erase(std::remove(out.begin(), out.end(), std::string()), out.end());
    return out;
}

int runInChild(const std::function<int()>& body, unsigned long fileSizeLimit)
{
    pid_t pid = fork();
    if (pid < 0) {
        ADD_FAILURE() << "cannot start a process: " << std::strerror(errno);
        return -1;
    }
    if (pid == 0) {
        if (fileSizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit lim{fileSizeLimit, fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &lim);
        }
        int status = 125;
        try {
            status = body();
        } catch (...) {
        }
        _exit(status);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

RunResult run(const std::vector<std::string>& argv, const std::string& input)
{
    return run(argv, input, {});
}

RunResult run(const std::vector<std::string>& argv, const std::string& input, const std::function<void()>& inChild)
{
    RunResult r;
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe(inPipe) || pipe(outPipe) || pipe(errPipe))
        return r;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(inPipe[0], 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        close(inPipe[1]); close(outPipe[0]); close(errPipe[0]);
        if (inChild)
            inChild();
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(inPipe[0]); close(outPipe[1]); close(errPipe[1]);
    size_t written = 0;
    if (input.empty()) {
        close(inPipe[1]);
        inPipe[1] = -1;
    }
    pollfd fds[3] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}, {inPipe[1], POLLOUT, 0}};
    int open = 2;
    char buf[65536];
    while (open > 0 || fds[2].fd >= 0) {
        if (poll(fds, 3, -1) < 0 && errno != EINTR)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd >= 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR))) {
                ssize_t n = read(fds[i].fd, buf, sizeof buf);
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                } else {
                    (i == 0 ? r.out : r.err).append(buf, static_cast<size_t>(n));
                }
            }
        }
        if (fds[2].fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n = (fds[2].revents & POLLOUT) ? write(fds[2].fd, input.data() + written, input.size() - written) : -1;
            if (n > 0)
                written += static_cast<size_t>(n);
            if (n <= 0 || written == input.size()) {
                close(fds[2].fd);
                fds[2].fd = -1;
            }
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return r;
}

bool haveProgram(const std::string& program)
{
    if (program.find('/') != std::string::npos)
        return access(program.c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::stringstream ss(path ? path : "");
    std::string dir;
    while (std::getline(ss, dir, ':'))
        if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0)
            return true;
    return false;
}

std::string pythonWith(const std::vector<std::string>& modules)
{
    std::string code;
    for (const auto& m : modules)
        code += "import " + m + "\n";
    for (const char* py : {"/usr/bin/python3", "python3"})
        if (haveProgram(py) && run({py, "-c", code}).status == 0)
            return py;
    return {};
}

fs::path sourceDir() { return VOLM_SOURCE_DIR; }
fs::path binaryDir() { return VOLM_BINARY_DIR; }
fs::path corpusDir() { return VOLM_CORPUS_DIR; }

void expectCorpusFilesUnchanged(const fs::path& path, const std::function<void()>& use)
{
    const fs::path corpus = corpusDir() / "cfb";
    if (!fs::is_directory(corpus))
        GTEST_SKIP() << "no corpus of other programs' compound files at " << corpus;
    for (const auto& e : fs::directory_iterator(corpus)) {
        const std::string bytes = readFile(e.path());
        writeFile(path, bytes);
        use();
        EXPECT_TRUE(readFile(path) == bytes) << e.path();
    }
}

namespace {

// Runs after the case's fixture is gone and before the printer reports it
// (gtest reports a case's end to the last listener first): an undeclared skip
// is reported as a failure and ends the program with status 1, so that
// neither gtest's "SKIPPED" line nor CTest's skip rule can hide it.
class CiSkipCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo& info) override
    {
        if (!info.result() || !info.result()->Skipped())
            return;
        const std::string name = std::string(info.test_suite_name()) + "." + info.name();
        for (const CiSkip& s : ciSkips)
            if (name == s.test) {
                std::printf("%s may skip in CI: %s\n", s.test, s.reason);
                return;
            }
        std::printf("[  FAILED  ] %s skipped in CI and is not declared as one that may skip there "
                    "(tests/Ciskips.h)\n", name.c_str());
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(1);
    }
};

} // namespace

void failUndeclaredSkipsInCi()
{
    const char* ci = std::getenv("CI");
    if (!ci || std::string(ci) != "true")
        return;
    ::testing::UnitTest::GetInstance()->listeners().Append(new CiSkipCheck);
}

void damageCompoundFile(const fs::path& path, const std::string& hidden, const std::string& broken)
{
    std::string bytes = readFile(path);
    // Directory entries: 128 bytes each, the name in UTF-16 and its length in
    // bytes (with the terminator) at 0x40, the type at 0x42, the first sector
    // at 0x74. They lie on 128-byte boundaries after the 512-byte header.
    auto find = [&](const std::string& name) -> size_t {
        for (size_t at = 512; at + 128 <= bytes.size(); at += 128) {
            const auto* e = reinterpret_cast<const unsigned char*>(bytes.data() + at);
            if (e[0x40] != 2 * (name.size() + 1) || e[0x41] != 0 || (e[0x42] != 1 && e[0x42] != 2))
                continue;
            bool same = true;
            for (size_t i = 0; i < name.size() && same; ++i)
                same = e[2 * i] == static_cast<unsigned char>(name[i]) && e[2 * i + 1] == 0;
            if (same)
                return at;
        }
        ADD_FAILURE() << path << ": no directory entry " << name;
        return std::string::npos;
    };
    if (!hidden.empty())
        if (size_t at = find(hidden); at != std::string::npos)
            bytes[at + 0x42] = 7;
    if (!broken.empty())
        if (size_t at = find(broken); at != std::string::npos) {
            const uint32_t far = 0x00FFFFF0;
            std::memcpy(bytes.data() + at + 0x74, &far, 4);
        }
    writeFile(path, bytes);
}

} // namespace volm::test
