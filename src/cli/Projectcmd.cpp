// volm-cli's project commands: new, add, add-list, list, text, import,
// delete, move, rename, pack, copy, font. Each is a thin front over the project model; topics are
// addressed by their 1-based position in the list. Names on the command line
// and in `list` are UTF-8, converted to and from the project's Windows-1251.

#include "cli/Cli.h"

#include "book/Bookfolder.h"
#include "book/Manifest.h"

#include "common/Codepage.h"
#include "common/Errors.h"
#include "common/Fileio.h"
#include "text/Detect.h"
#include "text/Textlines.h"
#include "storage/Doc.h"
#include "storage/Fontrecord.h"
#include "storage/Pack.h"
#include "storage/Project.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <sys/stat.h>

namespace volm::cli {
namespace {

size_t position(TProject& p, const std::string& arg)
{
    size_t n = 0;
    if (arg.empty() || arg.size() > 9 || arg.find_first_not_of("0123456789") != std::string::npos ||
        (n = std::stoul(arg)) == 0)
        throw UsageError("a topic is given by its position in the list, 1 or more (not \"" + arg + "\")");
    p.Topic(n - 1); // says so when there is no such topic
    return n - 1;
}

std::unique_ptr<TProject> openExisting(const std::string& path,
                                       TProject::TOpenMode mode = TProject::omOpenExisting)
{
    auto p = std::make_unique<TProject>();
    p->Open(path, mode);
    return p;
}

// Commands that only read open the project for reading: a shared lock, and
// a project the user may only read can be listed and read.
std::unique_ptr<TProject> openForReading(const std::string& path)
{
    return openExisting(path, TProject::omReadOnly);
}

// A stored name (Windows-1251) as the output shows it: UTF-8, with control
// characters escaped (\t, \n, \r, \xNN) so that a topic stays one line of
// tab-separated fields.
std::string shownName(const std::string& name)
{
    TEscapeRules rules;
    rules.upperHex = true;
    return EscapeControls(cp1251ToUtf8(name), rules);
}

bool hasControlCharacter(const std::string& name)
{
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return true;
    return false;
}

// The line numbers of `lines`, at most ten of them: "3, 7, 12".
std::string lineList(const std::vector<size_t>& lines)
{
    std::string out;
    for (size_t i = 0; i < lines.size() && i < 10; ++i)
        out += (i ? ", " : "") + std::to_string(lines[i]);
    return lines.size() > 10 ? out + ", ..." : out;
}

// A topic name from the command line in Windows-1251; a tab, line break or
// escape would break every listing of the topics.
std::string topicName(const std::string& typed)
{
    std::string name = fromTerminal(typed, "the topic name");
    if (hasControlCharacter(name))
        throw Error("the topic name \"" + shownName(name) +
                    "\": control characters (tab, line break, escape...) can't be part of a name");
    return name;
}

// Names are stored cut to kItemNameSize bytes; the user is told.
void noteCutName(size_t position, const std::string& name)
{
    if (name.size() <= kItemNameSize)
        return;
    std::cout.flush();
    std::cerr << "volm-cli: topic " << position << ": the name is longer than " << kItemNameSize
              << " bytes and is stored cut: \"" << shownName(name.substr(0, kItemNameSize)) << "\"\n";
}

int cmdNew(const Args& a)
{
    // The book is named after the file, and its name goes into the jad and
    // the manifest, one line each.
    const std::string file = a["PROJECT"].substr(a["PROJECT"].rfind('/') + 1);
    CheckOneLine(file, "the project file's name");
    TProject p;
    p.Open(a["PROJECT"], TProject::omCreateNew);
    p.CloseProject();
    return 0;
}

// `add` does not create a missing project: a typing error in the path would
// otherwise silently start a new book somewhere else. `new` creates.
int cmdAdd(const Args& a)
{
    std::vector<std::string> names;
    for (const std::string& name : a.all("NAME"))
        names.push_back(topicName(name));
    auto p = openExisting(a["PROJECT"]);
    for (const std::string& n : names) {
        size_t i = p->AddTopic(n);
        std::cout << i + 1 << '\t' << p->Topic(i).Number << '\n';
        noteCutName(i + 1, n);
    }
    p->CloseProject();
    return 0;
}

int cmdAddList(const Args& a)
{
    const std::string& path = a["PROJECT"];
    const std::string& list = a["LISTFILE"];
    // A list is read as text, as the desktop program reads it (UTF-8, UTF-16
    // or the detected Cyrillic code page); a name Windows-1251 can't hold is
    // named and nothing is added. --no-detect takes the bytes as they are.
    const std::string bytes = ReadWholeFile(list, kMaxTextFileSize);
    std::vector<std::string> lines;
    size_t nulAt = std::string_view::npos;
    if (a.has("--no-detect")) {
        lines = SplitLines(bytes);
        nulAt = FirstNul(bytes);
    } else {
        TDecodedList decoded = DecodeTopicList(bytes);
        if (!decoded.refused.empty()) {
            std::string what;
            for (size_t i = 0; i < decoded.refused.size() && i < 10; ++i) {
                const TRefusedName& r = decoded.refused[i];
                what += (i ? "; " : "") + std::string("line ") + std::to_string(r.line) + " \"" + r.text + "\" has";
                for (size_t c = 0; c < r.characters.size(); ++c)
                    what += (c ? ", \"" : " \"") + r.characters[c] + "\"";
            }
            if (decoded.refused.size() > 10)
                what += "; ...";
            throw Error(list + ": no topics were added; these names have characters that Windows-1251 lacks: " +
                        what);
        }
        lines = std::move(decoded.names);
        nulAt = LoadedTextCut(bytes, &decoded.found);
    }
    auto p = openExisting(path);
    const int32_t lastBefore = p->TopicCounter();
    size_t added = 0;
    std::vector<size_t> cut;
    try {
        for (const std::string& line : lines) {
            p->AddTopic(line);
            ++added;
            if (line.size() > kItemNameSize)
                cut.push_back(added);
        }
    } catch (const std::exception& e) {
        // The topics added before the failing line stay. The file tells how
        // many: a failure after the step that made a topic live leaves that
        // topic whole in the file.
        std::string msg = e.what();
        try {
            p->CloseProject();
        } catch (...) {
        }
        std::string count = std::to_string(added) + " topics were added";
        try {
            TProject check;
            check.Open(path, TProject::omReadOnly);
            size_t inFile = 0;
            for (size_t i = 0; i < check.TopicCount(); ++i)
                inFile += check.Topic(i).Number > lastBefore;
            if (inFile != added)
                count = std::to_string(inFile) + " topics were added (the one of line " +
                        std::to_string(added + 1) + " too)";
        } catch (...) {
        }
        throw Error(msg + " (line " + std::to_string(added + 1) + " of " + list + "; " + count + ")");
    }
    p->CloseProject();
    std::cout << added << " topics added\n";
    if (nulAt != std::string_view::npos)
        std::cout << NulCutNote(nulAt) << '\n';
    if (!cut.empty())
        std::cout << cut.size() << (cut.size() == 1 ? " name was" : " names were") << " longer than "
                  << kItemNameSize << " bytes and stored cut (line" << (cut.size() == 1 ? " " : "s ")
                  << lineList(cut) << ")\n";
    return 0;
}

int cmdList(const Args& a)
{
    const std::string& path = a["PROJECT"];
    auto p = openForReading(path);
    std::string out;
    for (size_t i = 0; i < p->TopicCount(); ++i) {
        const TTopicNode& t = p->Topic(i);
        out += std::to_string(i + 1) + '\t' + std::to_string(t.Number) + '\t' + shownName(t.Name) + '\t' +
               std::to_string(t.Item->GetTextLength()) + '\n';
    }
    std::cout << out;
    std::cout.flush();
    if (!p->SkippedElements().empty()) {
        std::string names;
        for (const std::string& n : p->SkippedElements())
            names += (names.empty() ? "" : ", ") + shownName(n);
        std::cerr << "volm-cli: " << path << ": not loaded (left as they are in the file): " << names << '\n';
    }
    const std::string outFolder = p->OutputFolder();
    p->CloseProject();
    // The outputs a killed build left staged are put in place (or, where it
    // was killed before they made a set, removed) once no build runs.
    try {
        TBookFolder(path, outFolder).Tidy();
    } catch (const Error&) {
        // A project whose name gives no book folder has none to tidy.
    }
    return 0;
}

int cmdText(const Args& a)
{
    auto p = openForReading(a["PROJECT"]);
    std::string text = p->GetText(position(*p, a["N"]));
    if (a.has("--utf8"))
        text = cp1251ToUtf8(text);
    std::cout.write(text.data(), static_cast<std::streamsize>(text.size()));
    std::cout.flush();
    p->CloseProject();
    return 0;
}

int cmdImport(const Args& a)
{
    bool detect = !a.has("--no-detect");
    std::string bytes = ReadWholeFile(a["FILE"], kMaxTextFileSize);
    auto p = openExisting(a["PROJECT"]);
    size_t index = position(*p, a["N"]);
    // As the editor loads a file: detection first, then its line rule.
    const TLoadedText loaded = LoadTextFile(bytes, detect);
    p->CommitText(index, loaded.text);
    p->CloseProject();
    std::cout << loaded.text.size() << " bytes stored in topic " << index + 1;
    if (detect)
        std::cout << " (read as " << loaded.found.Describe() << ")";
    std::cout << '\n';
    if (const std::string replaced = loaded.found.Replacements(); !replaced.empty())
        std::cout << replaced << '\n';
    // The editor's rule: the text ends at its first NUL. Said, not silent.
    if (loaded.cutAt != std::string_view::npos)
        std::cout << NulCutNote(loaded.cutAt) << '\n';
    return 0;
}

int cmdDelete(const Args& a)
{
    auto p = openExisting(a["PROJECT"]);
    p->DeleteTopic(position(*p, a["N"]));
    p->CloseProject();
    return 0;
}

int cmdMove(const Args& a)
{
    auto p = openExisting(a["PROJECT"]);
    const size_t from = position(*p, a["N"]);
    const size_t to = position(*p, a["M"]);
    p->MoveTopic(from, to);
    p->CloseProject();
    return 0;
}

int cmdRename(const Args& a)
{
    const std::string name = topicName(a["NAME"]);
    auto p = openExisting(a["PROJECT"]);
    const size_t at = position(*p, a["N"]);
    p->RenameTopic(at, name);
    p->CloseProject();
    noteCutName(at + 1, name);
    return 0;
}

int cmdPack(const Args& a)
{
    const std::string& path = a["PROJECT"];
    struct stat before, after;
    if (::stat(path.c_str(), &before) != 0)
        throw Error(path + ": " + systemMessage(errno));
    PackProject(path);
    if (::stat(path.c_str(), &after) == 0)
        std::cout << before.st_size << " -> " << after.st_size << " bytes\n";
    return 0;
}

// Opens the project read only (a damaged one too, with what can be read) and
// writes its readable content into a new project file.
int cmdCopy(const Args& a)
{
    auto p = openForReading(a["PROJECT"]);
    const std::string& target = a["NEW"];
    const TProjectCopy done = CopyProject(*p, target, a.has("--replace"));
    std::string streams;
    for (const std::string& s : done.streams)
        streams += (streams.empty() ? "" : ", ") + s;
    std::cout << target << ": " << done.topics << (done.topics == 1 ? " topic" : " topics") << " copied"
              << (streams.empty() ? "" : ", and " + streams) << "\n";
    if (!done.skipped.empty()) {
        std::string skipped;
        for (const std::string& s : done.skipped)
            skipped += (skipped.empty() ? "" : ", ") + s;
        std::cout << "not copied (could not be read): " << skipped << "\n";
    }
    return 0;
}

std::string styleText(uint8_t style)
{
    std::string s;
    const char* names[] = {"bold", "italic", "underline", "strikeout"};
    for (int i = 0; i < 4; ++i)
        if (style & (1 << i)) {
            if (!s.empty())
                s += ',';
            s += names[i];
        }
    return s.empty() ? "none" : s;
}

int32_t parseInt(const std::string& s, const std::string& what)
{
    try {
        size_t used = 0;
        bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
        long long v = std::stoll(s, &used, hex ? 16 : 10);
        if (used == s.size() && v >= INT32_MIN && v <= UINT32_MAX)
            return static_cast<int32_t>(static_cast<uint32_t>(v));
    } catch (...) {
    }
    throw UsageError(what + " \"" + s + "\" is not a number");
}

int cmdFont(const Args& a)
{
    auto p = openExisting(a["PROJECT"]);
    TFontSettings fs = p->FontSettings();
    // In the order given; the parser has refused any other option.
    for (const auto& [opt, v] : a.options()) {
        if (opt == "--name") {
            fs.font.name = fromTerminal(v, "the font name");
        } else if (opt == "--height") {
            fs.font.height = parseInt(v, "the height");
        } else if (opt == "--charset") {
            if (auto cs = CharsetFromIdent(v))
                fs.font.charset = *cs;
            else if (auto cs2 = CharsetFromIdent(v + "_CHARSET"))
                fs.font.charset = *cs2;
            else {
                int32_t n = parseInt(v, "the character set");
                if (n < 0 || n > 255)
                    throw UsageError("the character set " + v + " is not 0 to 255");
                fs.font.charset = static_cast<uint8_t>(n);
            }
        } else if (opt == "--style") {
            uint8_t style = 0;
            std::stringstream parts(v);
            for (std::string part; std::getline(parts, part, ',');) {
                if (part == "bold") style |= fsBold;
                else if (part == "italic") style |= fsItalic;
                else if (part == "underline") style |= fsUnderline;
                else if (part == "strikeout") style |= fsStrikeOut;
                else if (part != "none" && !part.empty())
                    throw UsageError("unknown style \"" + part + "\" (bold, italic, underline, strikeout, none)");
            }
            fs.font.style = style;
        } else if (opt == "--color") {
            if (auto c = ColorFromIdent(v))
                fs.font.color = *c;
            else
                fs.font.color = parseInt(v, "the colour");
        } else if (opt == "--pitch") {
            if (v == "default") fs.font.pitch = fpDefault;
            else if (v == "variable") fs.font.pitch = fpVariable;
            else if (v == "fixed") fs.font.pitch = fpFixed;
            else throw UsageError("unknown pitch \"" + v + "\" (default, variable, fixed)");
        } else if (opt == "--custom") {
            if (v != "on" && v != "off")
                throw UsageError("--custom takes on or off");
            fs.useCustomFont = v == "on";
        }
    }
    if (!a.options().empty())
        p->SaveFontSettings(fs);
    const TFontChoice& f = fs.font;
    auto cs = CharsetToIdent(f.charset);
    auto col = ColorToIdent(f.color);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(f.color));
    const char* pitches[] = {"default", "variable", "fixed"};
    std::cout << "name\t" << cp1251ToUtf8(f.name) << "\nheight\t" << f.height << "\ncharset\t"
              << (cs ? *cs : std::to_string(f.charset)) << "\nstyle\t" << styleText(f.style) << "\ncolor\t"
              << (col ? *col : std::string(hex)) << "\npitch\t" << pitches[f.pitch % 3] << "\ncustom\t"
              << (fs.useCustomFont ? "on" : "off") << '\n';
    p->CloseProject();
    return 0;
}

const Registrar registrar{
    {"new", {"PROJECT"}, {}, "create a new, empty project file (an existing file is refused)", cmdNew},
    {"add", {"PROJECT", "NAME..."}, {}, "append topics with these names (the project must exist)", cmdAdd},
    {"add-list", {"PROJECT", "LISTFILE"}, {{"--no-detect", "", "take the file's bytes as Windows-1251"}},
     "append one topic per line of a list file, read as text (UTF-8, UTF-16 or the detected Cyrillic code page)",
     cmdAddList},
    {"list", {"PROJECT"}, {}, "list the topics: position, storage number, name, text length; a set of jars a killed build left in the book folder is completed", cmdList},
    {"text", {"PROJECT", "N"}, {{"--utf8", "", "convert the text to UTF-8"}},
     "write topic N's text to standard output (Windows-1251 unless --utf8)", cmdText},
    {"import", {"PROJECT", "N", "FILE"}, {{"--no-detect", "", "take the file's bytes as Windows-1251"}},
     "load a text file into topic N as the editor does (code-page detection, CR LF line ends)", cmdImport},
    {"delete", {"PROJECT", "N"}, {}, "delete topic N", cmdDelete},
    {"move", {"PROJECT", "N", "M"}, {}, "move topic N to position M (the topics between shift by one)", cmdMove},
    {"rename", {"PROJECT", "N", "NAME"}, {}, "rename topic N (the first 50 bytes are stored; control characters are refused)", cmdRename},
    {"pack", {"PROJECT"}, {}, "rewrite the project file without the space freed by deletions", cmdPack},
    {"copy", {"PROJECT", "NEW"}, {{"--replace", "", "replace NEW when it exists"}},
     "write what can be read of the project (also a read-only or damaged one) into a new project file NEW: its "
     "topics, font settings and stored choices; says what could not be read",
     cmdCopy},
    {"font",
     {"PROJECT"},
     {{"--name", "N", "the desktop font's name"},
      {"--height", "H", "the height; its absolute value is the font image's cell in pixels"},
      {"--charset", "C", "the character set: a name (RUSSIAN or RUSSIAN_CHARSET) or 0 to 255"},
      {"--style", "S", "comma-separated: bold, italic, underline, strikeout, or none"},
      {"--color", "C", "a colour name (clRed) or number (0x00BBGGRR)"},
      {"--pitch", "P", "default, variable or fixed"},
      {"--custom", "on|off", "switch the custom font image on or off"}},
     "show the book's font settings, after changing the given ones", cmdFont},
};

} // namespace
} // namespace volm::cli
