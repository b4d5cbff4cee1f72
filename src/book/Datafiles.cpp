#include "book/Datafiles.h"

#include "common/Errors.h"
#include "common/Fileio.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/stat.h>

namespace volm {
namespace {

void MakeFolder(const std::string& path);

} // namespace

std::string TextModeLine(std::string_view s)
{
    std::string out;
    out.reserve(s.size() + 2);
    for (char c : s) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    out += "\r\n";
    return out;
}

std::string TopicsText(const std::vector<std::string>& names)
{
    std::string out;
    for (const std::string& n : names)
        out += TextModeLine(TitleLine(n));
    return out;
}

std::string FilesText(size_t count)
{
    std::string out;
    for (size_t i = 1; i <= count; ++i)
        out += TextModeLine("/texts/itm" + std::to_string(i));
    return out;
}

std::string AppNameText(std::string_view bookName)
{
    return TextModeLine(bookName);
}

std::string LayoutText(TReaderLayout layout, const std::vector<uint64_t>& textSizes)
{
    std::string out = TextModeLine(LayoutName(layout));
    for (uint64_t n : textSizes)
        out += TextModeLine(std::to_string(n));
    return out;
}

std::string TextEntryName(size_t number)
{
    return "texts/itm" + std::to_string(number);
}

namespace {

void MakeFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) == 0)
        return;
    int err = errno;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        return; // an existing folder is kept
    throw Error("Can't create folder " + path + ": " + systemMessage(err));
}

} // namespace

size_t MaxPathLength()
{
#ifdef PATH_MAX
    return PATH_MAX - 1; // the terminating NUL is counted in PATH_MAX
#else
    return 4095;
#endif
}

std::string TitleLine(std::string_view name)
{
    std::string line(name);
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    if (line.empty())
        line.push_back(' ');
    return line;
}

std::string ReaderText(std::string_view text)
{
    std::string out(text);
    std::erase(out, '\r');
    return out;
}

void WriteDataFiles(const std::string& bookFolder, std::string_view bookName, ITopicSequence& topics,
                    const TDataProgress& progress, std::optional<TReaderLayout> layout)
{
    std::string folder = bookFolder;
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    const std::string textFolder = folder + "texts/";
    const size_t count = topics.Count();

    // The longest path is that of the last topic's text (or a list file).
    std::string longest = textFolder + "itm" + std::to_string(count == 0 ? 1 : count);
    for (const char* f : {"topics.txt", "files.txt", "appname.txt", "layout.txt"})
        if (folder.size() + std::char_traits<char>::length(f) > longest.size())
            longest = folder + f;
    if (longest.size() > MaxPathLength())
        throw Error("The book folder " + folder + " is too deep: the path " + longest + " has " +
                    std::to_string(longest.size()) + " characters, at most " +
                    std::to_string(MaxPathLength()) + " are possible");

    // Work files: packed into the jar and deleted in the same run, so they
    // are not flushed to disk one by one.
    TSafeWriteOptions work;
    work.durable = false;
    TSafeFile files(folder + "files.txt", work);
    TSafeFile titles(folder + "topics.txt", work);
    MakeFolder(textFolder);

    // The two lists are written in pieces of about 64 KiB.
    std::string fileLines, titleLines;
    auto drain = [&](size_t atLeast) {
        if (fileLines.size() >= atLeast) {
            files.Write(fileLines);
            fileLines.clear();
        }
        if (titleLines.size() >= atLeast) {
            titles.Write(titleLines);
            titleLines.clear();
        }
    };
    std::string sizes = layout ? TextModeLine(LayoutName(*layout)) : std::string();
    for (size_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(i + 1);
        titleLines += TextModeLine(TitleLine(topics.Name(i)));
        fileLines += TextModeLine("/texts/itm" + number);
        const std::string text = ReaderText(topics.Text(i));
        WriteFileSafely(textFolder + "itm" + number, text, work);
        if (layout)
            sizes += TextModeLine(std::to_string(text.size()));
        drain(65536);
        if (progress)
            progress(i + 1, count);
    }
    drain(1);
    files.Commit();
    titles.Commit();

    WriteFileSafely(folder + "appname.txt", TextModeLine(bookName), work);
    if (layout)
        WriteFileSafely(folder + "layout.txt", sizes, work);
}

} // namespace volm
