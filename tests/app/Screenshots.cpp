// The documentation's pictures of the desktop program (scripts/screenshots.sh
// runs this under Xvfb, or offscreen):
//
//   volm-screenshots FOLDER [PROJECT.volm]
//
// starts the program's windows as `volm` does, opens PROJECT.volm (a copy:
// the program opens projects for writing), and saves into FOLDER the main
// window with the first topic selected, the topic list's context menu, the
// question about typed text that was not committed and the window marked
// while it waits, the build parameters dialog, the project's font dialog and
// the about box; then it ends (exit status 1 when a picture could not be
// written). Not part of the installed program.

#include "app/Child.h"
#include "app/Errorbox.h"
#include "app/Filetype.h"
#include "app/Fontdialog.h"
#include "app/Startup.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

using namespace volm::ui;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool savePicture(QWidget* w, const QDir& dir, const QString& name)
{
    settle();
    const bool ok = w->grab().save(dir.filePath(name));
    if (!ok)
        qWarning("volm: can't write %s", qPrintable(dir.filePath(name)));
    return ok;
}

// Pictures for the documentation; returns the exit status.
int takeScreenshots(TForm1& frame, TAboutBox& about, TForm3& build, const QDir& dir)
{
    QDir().mkpath(dir.path());
    bool ok = true;
    // The first topic of the open project selected, if there is one.
    if (auto* tree = frame.findChild<QTreeWidget*>(QStringLiteral("TreeView1"))) {
        if (tree->topLevelItemCount() > 0)
            tree->setCurrentItem(tree->topLevelItem(0));
    }
    ok &= savePicture(&frame, dir, QStringLiteral("main-window.png"));
    if (auto* w = frame.findChild<TForm2*>(); w && w->TreeView1->topLevelItemCount() > 1) {
        // The topic list's context menu, drawn over the window it belongs to.
        QTreeWidgetItem* node = w->TreeView1->topLevelItem(1);
        const QPoint at = w->TreeView1->visualItemRect(node).center();
        emit w->TreeView1->customContextMenuRequested(at);
        settle();
        QPixmap picture = frame.grab();
        {
            QPainter painter(&picture);
            painter.drawPixmap(w->TopicMenu->mapToGlobal(QPoint(0, 0)) - frame.mapToGlobal(QPoint(0, 0)),
                               w->TopicMenu->grab());
        }
        w->TopicMenu->hide();
        ok &= picture.save(dir.filePath(QStringLiteral("context-menu.png")));
        // The question about typed text that was not committed (answered "Cancel").
        w->TreeView1->setCurrentItem(node);
        w->RxRichEdit1->moveCursor(QTextCursor::End);
        w->RxRichEdit1->insertPlainText(QStringLiteral("\nA line typed and not committed."));
        QTimer::singleShot(100, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                ok &= savePicture(box, dir, QStringLiteral("question.png"));
                box->reject();
            }
        });
        w->SettleEdits();
        ok &= savePicture(&frame, dir, QStringLiteral("modified.png"));
        w->RxRichEdit1->document()->setModified(false); // leave without a question
    }
    // The folder shown is a reader's, not the scratch copy's.
    build.SetBookFolder("/home/reader/Books/Sample.volm", "");
    build.show();
    ok &= savePicture(&build, dir, QStringLiteral("build-dialog.png"));
    build.reject();
    // The open project's font dialog, showing its choice.
    if (auto* font = frame.findChild<TFontDialog*>(QStringLiteral("FontDialog1"))) {
        font->SetFont(font->Font());
        font->show();
        ok &= savePicture(font, dir, QStringLiteral("font-dialog.png"));
        font->reject();
    }
    about.show();
    ok &= savePicture(&about, dir, QStringLiteral("about-box.png"));
    about.hide();
    frame.close();
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QApplication::setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName(QString::fromLatin1(volm::kAppId));
    const QStringList args = QApplication::arguments();
    if (args.size() < 2 || args.size() > 3 || args[1].startsWith(u'-')) {
        std::fputs("Usage: volm-screenshots FOLDER [PROJECT.volm]\n", stderr);
        return 2;
    }
    TProgramWindows windows = MakeProgramWindows(args.size() > 2 ? args[2] : QString());
    windows.frame->resize(900, 640);
    windows.frame->show();
    return takeScreenshots(*windows.frame, *windows.about, *windows.build, QDir(args[1]));
}
