#pragma once
// Shared by the project window's tests: a shown frame that makes real project
// windows, letting queued events run, typing at the end of the editor's text,
// and the names the topic list shows.
#include "app/Child.h"
#include "app/Main.h"

#include <filesystem>
#include <memory>

#include <QApplication>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTest>
#include <QTextCursor>
#include <QTreeWidget>

namespace volm::test {

// The main window, its registry file `registry`, shown at 900 x 640.
inline std::unique_ptr<ui::TForm1> ShownFrame(const std::filesystem::path& registry)
{
    auto frame = std::make_unique<ui::TForm1>([](ui::TForm1* f) -> ui::TProjectWindow* { return new ui::TForm2(f); });
    frame->setRegistryFile(registry);
    frame->resize(900, 640);
    frame->show();
    return frame;
}

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
