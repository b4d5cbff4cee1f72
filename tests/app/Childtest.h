#pragma once
// Shared by the project window's tests: letting queued events run, typing at
// the end of the editor's text, and the names the topic list shows.
#include "app/Child.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>
#include <QTextCursor>
#include <QTreeWidget>

namespace volm::test {

inline void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

inline void typeInEditor(ui::TForm2* w, const QString& text)
{
    w->RxRichEdit1->moveCursor(QTextCursor::End);
    QTest::keyClicks(w->RxRichEdit1, text);
}

inline QStringList topicNames(ui::TForm2* w)
{
    QStringList out;
    for (int i = 0; i < w->TreeView1->topLevelItemCount(); ++i)
        out << w->TreeView1->topLevelItem(i)->text(0);
    return out;
}

} // namespace volm::test
