#pragma once
// Shared by the GUI tests: readable QString values in failure messages, and
// the stand-ins for the program's message and question boxes.
#include "app/Errorbox.h"

#include <QString>

#include <deque>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

// Records the questions the program asks and answers them with the button
// indexes given, in order (then with the default button).
struct Questions {
    Questions() { volm::ui::setQuestionSink([this](const volm::ui::TShownQuestion& q) { return answer(q); }); }
    ~Questions() { volm::ui::setQuestionSink({}); }
    int answer(const volm::ui::TShownQuestion& q)
    {
        asked.push_back(q);
        if (answers.empty())
            return q.defaultButton;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<int> answers;
    std::vector<volm::ui::TShownQuestion> asked;
};

// Button indexes of the question about typed text, and of Yes/No.
inline constexpr int kCommit = 0, kDiscard = 1, kCancel = 2;
inline constexpr int kYes = 0, kNo = 1;
