// Runs volm-cli's declarative cases: one file per case under cases/, each a
// few runs of volm-cli with what each run must print and leave behind.
// CTest runs one case per test (test_clicases FILE); without a file the
// program runs every case of the folder.
//
// A case file holds one directive per line; "#" starts a comment line, and a
// line that begins with a blank continues the line before it.
//
//   run ARG...        runs volm-cli; the checks that follow are about this run
//   status N          its exit status (0 when not given)
//   out TEXT          its standard output is exactly TEXT
//   out-has TEXT      its standard output holds TEXT
//   out-crlf PATH     its standard output is the file's text with every line
//                     ended by CR LF (as the project stores a loaded text)
//   err TEXT          its standard error is exactly TEXT
//   err-has TEXT      its standard error holds TEXT
//   file PATH TEXT    writes a file (and its folders) before the next run
//   mkdir PATH        makes a folder (and its parents)
//   copy FROM TO      copies a file
//   is PATH TEXT      the file is exactly TEXT
//   has PATH TEXT     the file holds TEXT
//   same PATH PATH    the two files hold the same bytes
//   exists PATH, absent PATH
//
// ARG and PATH are words, or "quoted" when they hold blanks. TEXT is the rest
// of the line as it stands, or one or more "quoted" pieces put together.
// Quoted text knows \n \r \t \\ \" and \xNN. Everywhere {dir} is the case's
// scratch folder (also the working folder of every run, so a relative path
// lies in it), {src} the source tree and {version} the program's version.
//
// Every case gets its own $XDG_CONFIG_HOME in the scratch folder, so stored
// build parameters are never the user's. On top of what a case says, every
// run that fails must print exactly one line on standard error, starting
// "volm-cli: ", and a run that succeeds prints nothing there unless the case
// names what.

#include "Testutil.h"
#include "text/Textlines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>

using namespace volm::test;

namespace {

struct Line {
    int number = 0;
    std::string text;
};

std::vector<Line> readLines(const fs::path& file)
{
    std::vector<Line> out;
    std::istringstream in(readFile(file));
    int number = 0;
    for (std::string text; std::getline(in, text);) {
        ++number;
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        if (text.find_first_not_of(" \t") == std::string::npos || text[0] == '#')
            continue;
        if ((text[0] == ' ' || text[0] == '\t') && !out.empty())
            out.back().text += text;
        else
            out.push_back({number, text});
    }
    return out;
}

// Bytes as a C string literal, for messages.
std::string shown(const std::string& bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + static_cast<char>(c);
        else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out + "\"";
}

class TCase {
public:
    TCase(const fs::path& file) : file_(file) {}

    void Run()
    {
        // The scratch folder is the working folder and holds the settings
        // while the case runs.
        struct TPlace {
            fs::path before = fs::current_path();
            TPlace(const fs::path& dir)
            {
                ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
                fs::current_path(dir);
            }
            ~TPlace()
            {
                std::error_code ec;
                fs::current_path(before, ec);
                ::unsetenv("XDG_CONFIG_HOME");
            }
        } place(dir_.path());
        for (const Line& line : readLines(file_)) {
            line_ = line.number;
            size_t at = 0;
            std::string word = nextWord(line.text, at);
            if (!Directive(word, line.text, at))
                return;
        }
        Finish();
    }

private:
    fs::path file_;
    TempDir dir_;
    int line_ = 0;
    std::optional<RunResult> run_;
    int runLine_ = 0;
    int status_ = 0;
    bool errNamed_ = false;

    void Fail(const std::string& message) { ADD_FAILURE_AT(file_.c_str(), line_) << message; }

    std::string expand(std::string s) const
    {
        const std::pair<std::string, std::string> names[] = {
            {"{dir}", dir_.path().string()}, {"{src}", sourceDir().string()}, {"{version}", VOLM_VERSION}};
        for (const auto& [name, value] : names)
            for (size_t at = 0; (at = s.find(name, at)) != std::string::npos; at += value.size())
                s.replace(at, name.size(), value);
        return s;
    }

    static void skipBlanks(const std::string& s, size_t& at)
    {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\t'))
            ++at;
    }

    // A quoted piece starting at s[at] == '"'; moves `at` past it.
    std::optional<std::string> quoted(const std::string& s, size_t& at)
    {
        std::string out;
        for (++at; at < s.size(); ++at) {
            char c = s[at];
            if (c == '"') {
                ++at;
                return out;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++at >= s.size())
                break;
            switch (s[at]) {
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'x':
                if (at + 2 < s.size() && std::isxdigit(static_cast<unsigned char>(s[at + 1])) &&
                    std::isxdigit(static_cast<unsigned char>(s[at + 2]))) {
                    out += static_cast<char>(std::stoi(s.substr(at + 1, 2), nullptr, 16));
                    at += 2;
                    break;
                }
                [[fallthrough]];
            default:
                Fail("unknown escape \\" + std::string(1, s[at]));
                return std::nullopt;
            }
        }
        Fail("a quoted text without its closing quote");
        return std::nullopt;
    }

    // The next word, quoted or bare; "" at the end of the line.
    std::string nextWord(const std::string& s, size_t& at)
    {
        skipBlanks(s, at);
        if (at < s.size() && s[at] == '"')
            return expand(quoted(s, at).value_or(""));
        size_t start = at;
        while (at < s.size() && s[at] != ' ' && s[at] != '\t')
            ++at;
        return expand(s.substr(start, at - start));
    }

    std::optional<std::string> text(const std::string& s, size_t& at)
    {
        skipBlanks(s, at);
        if (at >= s.size() || s[at] != '"')
            return expand(s.substr(at));
        std::string out;
        while (at < s.size()) {
            if (s[at] != '"') {
                Fail("text outside the quotes: " + s.substr(at));
                return std::nullopt;
            }
            auto piece = quoted(s, at);
            if (!piece)
                return std::nullopt;
            out += *piece;
            skipBlanks(s, at);
        }
        return expand(out);
    }

    // The checks every run gets, once the case has said all it says about it.
    void Finish()
    {
        if (!run_)
            return;
        int here = line_;
        line_ = runLine_;
        const RunResult& r = *run_;
        if (r.status != status_)
            Fail("exit status " + std::to_string(r.status) + ", expected " + std::to_string(status_) +
                 "\nstdout: " + shown(r.out) + "\nstderr: " + shown(r.err));
        if (r.status != 0 &&
            (!r.err.starts_with("volm-cli: ") || std::count(r.err.begin(), r.err.end(), '\n') != 1 ||
             r.err.back() != '\n'))
            Fail("a failure is one line on standard error, starting \"volm-cli: \"; got " + shown(r.err));
        if (r.status == 0 && !errNamed_ && !r.err.empty())
            Fail("unexpected standard error " + shown(r.err));
        run_.reset();
        line_ = here;
    }

    // Runs one directive; false stops the case (its later lines would only
    // repeat the failure).
    bool Directive(const std::string& word, const std::string& s, size_t& at)
    {
        auto needRun = [&]() {
            if (!run_)
                Fail(word + " before any run");
            return run_.has_value();
        };
        auto compare = [&](const std::string& what, const std::string& got, const std::string& want, bool whole) {
            bool ok = whole ? got == want : got.find(want) != std::string::npos;
            if (!ok)
                Fail(what + (whole ? " is " : " lacks ") + shown(whole ? got : want) +
                     (whole ? "\n   expected " + shown(want) : "\n   in " + shown(got)));
            return ok;
        };

        if (word == "run") {
            Finish();
            std::vector<std::string> argv{VOLM_CLI};
            for (skipBlanks(s, at); at < s.size(); skipBlanks(s, at))
                argv.push_back(nextWord(s, at));
            run_ = run(argv);
            runLine_ = line_;
            status_ = 0;
            errNamed_ = false;
            if (run_->status < 0) {
                Fail("volm-cli did not run (" VOLM_CLI ")");
                return false;
            }
            return true;
        }
        if (word == "status") {
            std::string n = nextWord(s, at);
            if (!needRun() || n.empty() || n.find_first_not_of("0123456789") != std::string::npos) {
                Fail("status wants a number");
                return false;
            }
            status_ = std::stoi(n);
            return true;
        }
        if (word == "out" || word == "out-has" || word == "err" || word == "err-has") {
            auto want = text(s, at);
            if (!want || !needRun())
                return false;
            bool isOut = word.starts_with("out");
            if (!isOut)
                errNamed_ = true;
            compare(isOut ? "standard output" : "standard error", isOut ? run_->out : run_->err, *want,
                    !word.ends_with("-has"));
            return true;
        }
        if (word == "out-crlf") {
            fs::path path = nextWord(s, at);
            if (!needRun())
                return false;
            if (!fs::exists(path)) {
                Fail(path.string() + " does not exist");
                return false;
            }
            compare("standard output", run_->out, volm::NormalizeLineEnds(readFile(path)), true);
            return true;
        }

        // Files: checks belong to the run before them; changes come before the next one.
        fs::path path = nextWord(s, at);
        if (path.empty()) {
            Fail(word.empty() ? "an empty directive" : word + " wants a path");
            return false;
        }
        if (word == "file") {
            auto content = text(s, at);
            if (!content)
                return false;
            fs::create_directories(fs::absolute(path).parent_path());
            writeFile(path, *content);
        } else if (word == "mkdir") {
            fs::create_directories(path);
        } else if (word == "copy") {
            fs::path to = nextWord(s, at);
            fs::copy_file(path, to, fs::copy_options::overwrite_existing);
        } else if (word == "is" || word == "has") {
            auto want = text(s, at);
            if (!want)
                return false;
            if (!fs::is_regular_file(path))
                Fail(path.string() + " is not a file");
            else
                compare(path.string(), readFile(path), *want, word == "is");
        } else if (word == "same") {
            fs::path other = nextWord(s, at);
            if (!fs::is_regular_file(path) || !fs::is_regular_file(other))
                Fail(path.string() + " or " + other.string() + " is not a file");
            else if (readFile(path) != readFile(other))
                Fail(path.string() + " and " + other.string() + " differ");
        } else if (word == "exists") {
            if (!fs::exists(path))
                Fail(path.string() + " does not exist");
        } else if (word == "absent") {
            if (fs::exists(path))
                Fail(path.string() + " exists");
        } else {
            Fail("unknown directive \"" + word + "\"");
            return false;
        }
        return true;
    }
};

class TCaseTest : public testing::Test {
public:
    explicit TCaseTest(fs::path file) : file_(std::move(file)) {}
    void TestBody() override { TCase(file_).Run(); }

private:
    fs::path file_;
};

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    volm::test::failUndeclaredSkipsInCi();
    std::vector<fs::path> files(argv + 1, argv + argc);
    if (files.empty()) {
        for (const auto& e : fs::directory_iterator(VOLM_CLI_CASES))
            if (e.path().extension() == ".case")
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
    }
    for (const fs::path& file : files) {
        fs::path absolute = fs::absolute(file);
        testing::RegisterTest("Clicase", file.stem().c_str(), nullptr, nullptr, absolute.c_str(), 0,
                              [absolute]() -> testing::Test* { return new TCaseTest(absolute); });
    }
    return RUN_ALL_TESTS();
}
