// volm-cli import-book: a whole book file (FB2, zipped FB2, EPUB, HTML,
// Markdown or a plain text) appended to a project as one topic per chapter.
// The book is read whole first; nothing is appended unless all of it was.

#include "cli/Cli.h"

#include "book/Bookfile.h"
#include "book/Manifest.h"
#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "storage/Project.h"
#include "text/Bookimport.h"
#include "text/Booklimits.h"
#include "text/Booktext.h"
#include "text/Plainbook.h"

#include <iostream>

namespace volm::cli {
namespace {

// volm-cli title: the book's own name, shown or set.
int cmdTitle(const Args& a)
{
    TProject p;
    const std::string& title = a["TITLE"];
    p.Open(a["PROJECT"], !title.empty() ? TProject::omOpenExisting : TProject::omReadOnly);
    if (title.empty()) {
        if (p.Title().empty())
            std::cout << "no title: the book is named after its project file\n";
        else
            std::cout << p.Title() << '\n';
        return 0;
    }
    if (std::string fault = TitleFault(title); !fault.empty())
        throw UsageError(fault);
    p.SaveTitle(title);
    p.CloseProject();
    return 0;
}

int cmdImportBook(const Args& a)
{
    TBookOptions options;
    options.detect = !a.has("--no-detect");
    options.keepLines = a.has("--keep-lines");
    size_t splitAt = kDefaultSplitSize;
    if (auto v = a.value("--split-at"); v && *v == "none") {
        splitAt = 0;
    } else if (v) {
        if (!ParseSplitSize(*v, splitAt))
            throw UsageError("--split-at takes a size in bytes, K or M after it (not \"" + *v + "\")");
        if (splitAt < kMinSplitSize)
            throw UsageError("--split-at " + *v + " is too small (" + std::to_string(kMinSplitSize) +
                             " bytes at least)");
    }
    if (auto v = a.value("--notes")) {
        if (*v == "inline")
            options.notes = TNoteMode::Inline;
        else if (*v == "end")
            options.notes = TNoteMode::End;
        else if (*v == "topic")
            options.notes = TNoteMode::Topic;
        else
            throw UsageError("--notes takes inline, end or topic (not \"" + *v + "\")");
    }
    if (auto v = a.value("--chapters")) {
        options.chapters = fromTerminal(*v, "the chapter pattern");
        if (std::string fault = ChapterPatternFault(options.chapters); !fault.empty())
            throw UsageError("--chapters: the pattern \"" + (v->size() > 60 ? CutAtCharacter(*v, 60) + "..." : *v) +
                             "\" is refused: " + fault);
    }
    const std::string& file = a["FILE"];

    TProject p;
    p.Open(a["PROJECT"], TProject::omOpenExisting);
    const TBook book = ReadBookFile(file, options);
    const std::vector<TBookTopic> topics = BookTopics(book, splitAt, file);
    // The book's own name becomes the project's, unless it has one: stored
    // in the same change as the topics.
    const std::string bookTitle = cp1251ToUtf8(CollapseBlanks(book.title));
    std::string newTitle;
    if (!bookTitle.empty() && p.Title().empty() && TitleFault(CutAtCharacter(bookTitle, kTitleMax)).empty())
        newTitle = CutAtCharacter(bookTitle, kTitleMax);
    const std::vector<size_t> added = AppendBookTopics(p, topics, newTitle);

    std::string out;
    for (size_t i : added) {
        const TTopicNode& t = p.Topic(i);
        out += std::to_string(i + 1) + '\t' + std::to_string(t.Number) + '\t' + cp1251ToUtf8(t.Name) + '\n';
    }
    out += std::to_string(added.size()) + (added.size() == 1 ? " topic" : " topics") + " from " + file + " (" +
           book.format + ", " + book.encoding + ")\n";
    for (const std::string& note : book.notes)
        out += note + '\n';
    for (const std::string& note : TopicNotes(book, topics))
        out += note + '\n';
    if (const std::string replaced = ReplacementNote(book.Replaced()); !replaced.empty())
        out += replaced + '\n';
    if (!bookTitle.empty()) {
        if (!newTitle.empty() && p.Title() == newTitle)
            out += "title: " + p.Title() + '\n';
        else if (!p.Title().empty())
            out += "the project keeps its title \"" + p.Title() + "\" (the book's: \"" + bookTitle + "\")\n";
    }
    p.CloseProject();
    std::cout << out;
    return 0;
}

const Registrar registrar{
    {"import-book",
     {"PROJECT", "FILE"},
     {{"--split-at", "SIZE", "keep every topic at or under SIZE bytes (K and M suffixes; 32K unless told; none: "
                               "a topic per chapter), cut at paragraph ends"},
      {"--notes", "WHERE",
       "inline: each note after the paragraph that refers to it (the default); end: at the end of the chapter; "
       "topic: in a topic of notes at the end"},
      {"--chapters", "REGEX", "plain texts: the heading lines' pattern (RE2 syntax, whole lines; "
                             "matched in linear time)"},
      {"--no-detect", "", "read texts that name no encoding as Windows-1251"},
      {"--keep-lines", "", "plain texts: keep the lines of a hard-wrapped text as they are"}},
     "append a book (FB2, EPUB, HTML, Markdown, plain text) as one topic per chapter; the book's title becomes "
     "the project's when it has none",
     cmdImportBook},
};

const HelpNote importBookLimits{"import-book", BookLimitsHelp()};

const Registrar titleRegistrar{
    {"title",
     {"PROJECT", "[TITLE]"},
     {},
     "show the book's own name (its MIDlet-Name), or set it to TITLE",
     cmdTitle},
};

} // namespace
} // namespace volm::cli
