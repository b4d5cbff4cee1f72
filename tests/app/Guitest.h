#pragma once
// Shared by the GUI tests: readable QString values in failure messages, the
// stand-ins for the program's message and question boxes, and a file chosen
// in a file dialog.
#include "app/Errorbox.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

// Records the messages the program shows instead of showing them.
struct Messages {
    Messages() { volm::ui::setMessageSink([this](const volm::ui::TShownMessage& m) { shown.push_back(m); }); }
    ~Messages() { volm::ui::setMessageSink({}); }
    // Every message's text, joined by '|' (for failure output).
    QString all() const
    {
        QStringList t;
        for (const auto& m : shown)
            t << m.text;
        return t.join(u'|');
    }
    std::vector<volm::ui::TShownMessage> shown;
};

// Records the questions the program asks and answers them with the button
// indexes given, in order (then with the default button).
struct Questions {
    Questions() { volm::ui::setQuestionSink([this](const volm::ui::TShownQuestion& q) { return answer(q); }); }
    ~Questions() { volm::ui::setQuestionSink({}); }
    int answer(const volm::ui::TShownQuestion& q)
    {
        asked.push_back(q);
        if (onAsk)
            onAsk();
        if (answers.empty())
            return q.defaultButton;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<int> answers;
    std::vector<volm::ui::TShownQuestion> asked;
    std::function<void()> onAsk; // called as each question is asked
};

// Button indexes of the question about typed text, and of Yes/No.
inline constexpr int kCommit = 0, kDiscard = 1, kCancel = 2;
inline constexpr int kYes = 0, kNo = 1;

// Types `path` into a file dialog and accepts it, once the dialog is up.
inline void chooseFile(QFileDialog* d, const std::string& path)
{
    QTimer::singleShot(0, [d, path] {
        auto* edit = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(edit, nullptr);
        edit->setText(QString::fromStdString(path));
        QTest::keyClick(edit, Qt::Key_Return);
    });
}

// Once a folder dialog is up (a build may run before it comes), types
// `folder` into it and accepts it.
inline void chooseFolderWhenAsked(const std::filesystem::path& folder, int tries = 500)
{
    QTimer::singleShot(10, [folder, tries] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d || d->objectName() != QStringLiteral("FolderDialog")) {
            ASSERT_GT(tries, 0) << "no folder dialog came";
            chooseFolderWhenAsked(folder, tries - 1);
            return;
        }
        auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(folder.string()));
        QTest::keyClick(name, Qt::Key_Return);
    });
}
