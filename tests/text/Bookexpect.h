#pragma once
// The topics a book fixture must give (tests/text/data/books/NAME.expect,
// written by make_books.py): "= name" starts a topic, "| text" is one of its
// lines, "^ text" a heading line (the text after the heading mark), "|"
// alone an empty line. Compared with what the import made, in
// UTF-8, so that a failure shows readable text.

#include "Testutil.h"
#include "common/Codepage.h"
#include "common/Headingmark.h"
#include "text/Bookimport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace volm::test {

struct TExpectedTopic {
    std::string name;
    std::vector<std::string> lines;
};

inline fs::path booksDir()
{
    return sourceDir() / "tests" / "text" / "data" / "books";
}

inline std::vector<TExpectedTopic> readExpect(const std::string& book)
{
    std::vector<TExpectedTopic> out;
    std::istringstream in(readFile(booksDir() / (book + ".expect")));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("= ", 0) == 0)
            out.push_back({line.substr(2), {}});
        else if (line == "|" && !out.empty())
            out.back().lines.emplace_back();
        else if (line.rfind("| ", 0) == 0 && !out.empty())
            out.back().lines.push_back(line.substr(2));
        else if (line.rfind("^ ", 0) == 0 && !out.empty())
            out.back().lines.push_back(kHeadingMark + line.substr(2));
    }
    return out;
}

// A topic's text as UTF-8 lines: every line must end with CR LF.
inline std::vector<std::string> topicLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "a line without CR LF at the end of the text";
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(cp1251ToUtf8(text.substr(start, end - start)));
        start = end + 2;
    }
    return lines;
}

// The book's topics (unsplit) are exactly the expected ones: names, order,
// every line once and in order.
inline void expectTopics(const TBook& book, const std::string& expectName)
{
    std::vector<TExpectedTopic> want = readExpect(expectName);
    std::vector<TBookTopic> got = BookTopics(book, 0);
    std::vector<std::string> wantNames, gotNames;
    for (const auto& t : want)
        wantNames.push_back(t.name);
    for (const auto& t : got)
        gotNames.push_back(cp1251ToUtf8(t.name));
    ASSERT_EQ(gotNames, wantNames) << expectName;
    for (size_t i = 0; i < got.size(); ++i)
        EXPECT_EQ(topicLines(got[i].text), want[i].lines) << expectName << ", topic " << want[i].name;
}

} // namespace volm::test
