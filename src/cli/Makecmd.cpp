// volm-cli make: book files (or folders of them) to phone applications in one
// step. Each book becomes a project of its own, named after the book's title
// (or its file), in --out or next to the book: the whole book imported, then
// built as volm-cli build builds. Books are made in parallel, one per core; a
// book that fails is reported and the others go on. A stamp beside each
// project (NAME.volm.made) records the book file and the options its jars were
// made with: run again, a book whose stamp still holds is left as it is. A
// project of that name without a stamp is the user's own and never replaced.

#include "cli/Buildchoices.h"
#include "cli/Cli.h"

#include "book/Bookfile.h"
#include "book/Buildparams.h"
#include "book/Pipeline.h"
#include "common/Codepage.h"
#include "common/Errors.h"
#include "common/Fileio.h"
#include "storage/Project.h"
#include "text/Bookimport.h"
#include "text/Booktext.h"

#ifdef VOLM_HAVE_FONT
#include "book/Fontimage.h"
#endif

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

namespace volm::cli {
namespace {

namespace fs = std::filesystem;

bool BookExtension(const fs::path& p)
{
    std::string name = asciiLower(p.filename().string());
    for (const char* ext : {".fb2", ".fb2.zip", ".epub", ".txt", ".html", ".htm", ".xhtml", ".md", ".markdown"})
        if (name.size() > std::strlen(ext) && name.compare(name.size() - std::strlen(ext), std::string::npos, ext) == 0)
            return true;
    return false;
}

// A project's file name from a book's name: what file names can't hold
// becomes "_"; never empty, never a hidden file.
std::string ProjectFileName(std::string name)
{
    for (char& c : name)
        if (std::strchr("/\\:*?\"<>|", c) || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    name = CollapseBlanks(name);
    while (!name.empty() && name[0] == '.')
        name[0] = '_';
    if (name.size() > 120)
        name = CutText(name, 120);
    return name.empty() ? std::string("book") : name;
}

struct TMade {
    std::string file;
    std::string title;
    std::string project;
    bool ok = false, skipped = false;
    size_t topics = 0, volumes = 0, warnings = 0;
    uint64_t largestJar = 0;
    std::string error;
};

struct TMakeJob {
    TBookOptions options;
    size_t splitAt = kDefaultSplitSize;
    TBuildChoices build;
    std::optional<std::string> out;
    bool force = false;
    std::string optionText; // what the stamp records of the options
};

std::string Stamp(const std::string& file, const std::string& options)
{
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    const auto time = fs::last_write_time(file, ec).time_since_epoch().count();
    return "book " + fs::absolute(file).string() + "\nsize " + std::to_string(size) + "\ntime " +
           std::to_string(time) + "\noptions " + options + "\n";
}

// The projects' paths, in the order of the book files, so that every run
// gives each book the same project: a name two books share gets " (2)",
// " (3)", ... for the later ones.
std::vector<std::string> ProjectPaths(const std::vector<TMade>& made, const TMakeJob& job)
{
    std::vector<std::string> out(made.size());
    std::set<std::string> taken;
    for (size_t i = 0; i < made.size(); ++i) {
        if (!made[i].error.empty())
            continue;
        const std::string name =
            ProjectFileName(!made[i].title.empty() ? made[i].title : fs::path(made[i].file).stem().string());
        fs::path folder = job.out ? fs::path(*job.out) : fs::path(made[i].file).parent_path();
        if (folder.empty())
            folder = ".";
        for (int n = 1;; ++n) {
            std::string path = (folder / (name + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ".volm")).string();
            if (taken.insert(fs::absolute(path).lexically_normal().string()).second) {
                out[i] = path;
                break;
            }
        }
    }
    return out;
}

// The book's title, or the failure to read it.
void ReadTitle(TMade& m, const TMakeJob& job)
{
    try {
        m.title = cp1251ToUtf8(CollapseBlanks(ReadBookFile(m.file, job.options).title));
    } catch (const std::exception& e) {
        m.error = e.what();
    }
}

void MakeBook(TMade& m, const TMakeJob& job)
{
    try {
        const std::string stampPath = m.project + ".made";
        const std::string stamp = Stamp(m.file, job.optionText);
        if (fs::exists(m.project) || fs::is_symlink(m.project)) {
            // A project without a stamp is someone's own: never replaced.
            if (!fs::exists(stampPath))
                throw Error(m.project + " exists and was not made by volm-cli make; left as it is (" + m.file +
                            " not made)");
            if (!job.force && ReadWholeFile(stampPath, 1 << 16) == stamp) {
                m.ok = m.skipped = true;
                return;
            }
        }
        TBook book = ReadBookFile(m.file, job.options);
        std::vector<TBookTopic> topics = BookTopics(book, job.splitAt, m.file);
        m.topics = topics.size();
        m.warnings = book.notes.size() + TopicNotes(book, topics).size() +
                     (book.Replaced().missing + book.Replaced().invalid > 0 ? 1 : 0);
        fs::remove(stampPath);
        fs::remove(m.project);
        TProject p;
        p.Open(m.project, TProject::omCreateNew);
        AppendBookTopics(p, topics, !m.title.empty() && TitleFault(m.title).empty() ? m.title : std::string());

        StoreBuildChoices(p, job.build);

        TBuildRequest request;
        request.projectPath = m.project;
        FillBuildRequest(request, p, job.build);
        request.build = p.BuildCount() + 1;
        request.nextBuild = [&p] {
            p.SaveBuildCount(p.BuildCount() + 1);
            return p.BuildCount();
        };
        request.threads = 1; // the books are made in parallel
        TProjectTopics sequence(p);
        TFontRenderer renderer;
#ifdef VOLM_HAVE_FONT
        // One book's font at a time: the font renderer is not shared between threads.
        static std::mutex fonts;
        renderer = [](const TFontChoice& f) {
            std::lock_guard<std::mutex> hold(fonts);
            return FontImagePng(f);
        };
        request.renderSheet = [](const TFontChoice& f, int size, const TUsedBytes& used) {
            std::lock_guard<std::mutex> hold(fonts);
            return RenderFontSheet(f, size, used);
        };
#endif
        TBuildResult r = GenerateBook(request, sequence, renderer, nullptr);
        p.CloseProject();
        m.volumes = r.jars.size();
        for (const TBuiltJar& j : r.jars)
            m.largestJar = std::max(m.largestJar, j.jarSize);
        m.warnings += r.fontWarnings.size();
        for (const std::string& line : PhoneLines(r, job.build))
            m.warnings += line.rfind("warning: ", 0) == 0;
        WriteFileSafely(stampPath, stamp);
        m.ok = true;
    } catch (const std::exception& e) {
        m.error = e.what();
    }
}

std::string MadeLine(const TMade& m)
{
    if (!m.ok)
        return "failed: " + m.error;
    const std::string name = m.title.empty() ? m.file : m.title;
    if (m.skipped)
        return "up to date: " + name + " (" + m.project + ")";
    return "made: " + name + ": " + std::to_string(m.topics) + " topics, " + std::to_string(m.volumes) +
           (m.volumes == 1 ? " jar" : " volumes") + ", the largest " + std::to_string(m.largestJar) + " bytes, " +
           std::to_string(m.warnings) + (m.warnings == 1 ? " warning" : " warnings") + " (" + m.project + ")";
}

int cmdMake(const Args& a)
{
    TMakeJob job;
    job.options.detect = !a.has("--no-detect");
    job.options.keepLines = a.has("--keep-lines");
    if (auto v = a.value("--notes")) {
        if (*v == "inline")
            job.options.notes = TNoteMode::Inline;
        else if (*v == "end")
            job.options.notes = TNoteMode::End;
        else if (*v == "topic")
            job.options.notes = TNoteMode::Topic;
        else
            throw UsageError("--notes takes inline, end or topic (not \"" + *v + "\")");
    }
    if (auto v = a.value("--split-at"); v && *v == "none") {
        job.splitAt = 0;
    } else if (v) {
        if (!ParseSplitSize(*v, job.splitAt) || job.splitAt < kMinSplitSize)
            throw UsageError("--split-at takes a size of " + std::to_string(kMinSplitSize) +
                             " bytes or more, K or M after it, or none (not \"" + *v + "\")");
    }
    job.build = ParseBuildChoices(a);
    job.out = a.value("--out");
    if (job.out) {
        std::error_code ec;
        fs::create_directories(*job.out, ec);
        if (!fs::is_directory(*job.out))
            throw Error("Cannot make the folder " + *job.out + (ec ? ": " + ec.message() : std::string()));
    }
    job.force = a.has("--force");
    job.optionText = "split " + std::to_string(job.splitAt) + " notes " +
                     std::to_string(static_cast<int>(job.options.notes)) + " detect " +
                     std::to_string(job.options.detect) + " keep-lines " + std::to_string(job.options.keepLines) +
                     " " + job.build.Text() + " version " VOLM_VERSION;

    // The books: files as named, and the book files of each folder named.
    std::vector<std::string> files;
    for (const std::string& arg : a.all("FILE")) {
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<std::string> inFolder;
            for (const fs::directory_entry& e : fs::directory_iterator(arg, ec))
                if (e.is_regular_file(ec) && BookExtension(e.path()))
                    inFolder.push_back(e.path().string());
            std::sort(inFolder.begin(), inFolder.end());
            files.insert(files.end(), inFolder.begin(), inFolder.end());
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty())
        throw UsageError("no book files to make");

    std::vector<TMade> made(files.size());
    for (size_t i = 0; i < files.size(); ++i)
        made[i].file = files[i];
    std::mutex printing;
    // Each step on every core: the titles first (they name the projects),
    // then the books.
    auto parallel = [&](const std::function<void(TMade&)>& step) {
        std::atomic<size_t> next{0};
        auto worker = [&] {
            for (size_t i; (i = next++) < made.size();)
                step(made[i]);
        };
        const size_t threads = std::min<size_t>(made.size(), std::max(1u, std::thread::hardware_concurrency()));
        std::vector<std::thread> pool;
        for (size_t t = 1; t < threads; ++t)
            pool.emplace_back(worker);
        worker();
        for (std::thread& t : pool)
            t.join();
    };
    parallel([&](TMade& m) { ReadTitle(m, job); });
    const std::vector<std::string> paths = ProjectPaths(made, job);
    for (size_t i = 0; i < made.size(); ++i)
        made[i].project = paths[i];
    parallel([&](TMade& m) {
        if (m.error.empty())
            MakeBook(m, job);
        std::lock_guard<std::mutex> lock(printing);
        std::cout << MadeLine(m) << std::endl;
    });

    // The summary.
    size_t failed = 0, skipped = 0;
    std::cout << "\nbook\ttopics\tjars\tlargest jar\tresult\n";
    for (const TMade& m : made) {
        failed += !m.ok;
        skipped += m.skipped;
        std::cout << (m.title.empty() ? m.file : m.title) << '\t' << m.topics << '\t' << m.volumes << '\t'
                  << m.largestJar << '\t' << (!m.ok ? "failed" : m.skipped ? "up to date" : "made") << '\n';
    }
    std::cout << made.size() - failed - skipped << " made, " << skipped << " up to date, " << failed << " failed\n";
    if (failed)
        throw Error(std::to_string(failed) + " of " + std::to_string(made.size()) +
                    (made.size() == 1 ? " book" : " books") + " failed");
    return 0;
}

std::vector<Option> MakeOptions()
{
    std::vector<Option> options{
        {"--out", "DIR", "the folder of the projects and their books (else next to each book file)"},
        {"--split-at", "SIZE", "keep every topic at or under SIZE bytes (32K unless told; none)"},
        {"--notes", "WHERE", "inline, end or topic, as import-book takes them"},
        {"--no-detect", "", "read texts that name no encoding as Windows-1251"},
        {"--keep-lines", "", "plain texts: keep the lines of a hard-wrapped text as they are"},
        {"--force", "", "make every book again, also those whose jars are up to date"}};
    const std::vector<Option>& build = BuildChoiceOptions();
    options.insert(options.end(), build.begin(), build.end());
    return options;
}

const Registrar registrar{
    {"make",
     {"FILE..."},
     MakeOptions(),
     "make each book file (a folder: every book file in it) a project named after its title and build its jars, "
     "books in parallel",
     cmdMake},
};

} // namespace
} // namespace volm::cli
