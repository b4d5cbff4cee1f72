// Start-up of the desktop program: the application and its title, the main
// window, the about box and the build parameters dialog, then the message
// loop. The main window, once shown, registers the project file type and
// opens the project named by the first command-line argument.
//
// --help and --version are answered before anything is shown (no display is
// needed); another first argument that begins with "--" is refused (exit
// status 2), and "--" lets a project named "--..." through.
//
// A hidden option for the documentation, --screenshots FOLDER, saves pictures
// of the main window, the topic list's context menu, the question about typed
// text, the build parameters dialog, the font dialog and the about box into
// FOLDER and ends the program (works without a display with
// QT_QPA_PLATFORM=offscreen).

#include "app/Errorbox.h"
#include "app/Filetype.h"
#include "app/Main.h"
#include "app/Sharedmemory.h"
#include "app/Child.h"
#include "app/Fontdialog.h"
#include "app/Jbuild.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

using namespace volm::ui;

namespace {

const char kUsage[] =
    "Usage: volm [PROJECT.volm]\n"
    "       volm --help | --version\n"
    "\n"
    "Turns plain texts into e-books for Java phones. Opens PROJECT.volm (or\n"
    "creates it as a new, empty project) in a project window.\n"
    "\n"
    "Options:\n"
    "  -h, --help  show this help\n"
    "  --version   show the version\n"
    "  --          the next argument is the project, even when it begins with \"--\"\n"
    "Qt's own options (-platform NAME, -style NAME...) are accepted too.\n"
    "\"volm-cli --help\" lists the same work on the command line; see volm(1).\n";

#define VOLM_STR2(x) #x
#define VOLM_STR(x) VOLM_STR2(x)
const char kVersion[] = "volm " VOLM_STR(VOLM_VERSION_MAJOR) "." VOLM_STR(VOLM_VERSION_MINOR) "." VOLM_STR(
    VOLM_VERSION_PATCH) "." VOLM_STR(VOLM_VERSION_TWEAK) "\n";

// --help and --version as the first argument; -1 for neither, else the
// exit status.
int answerOption(const char* arg)
{
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (std::strcmp(arg, "--version") == 0) {
        std::fputs(kVersion, stdout);
        return 0;
    }
    return -1;
}

TProjectWindow* newProjectWindow(TForm1* frame)
{
    return new TForm2(frame);
}

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
    // Past a file-size limit (ulimit -f) a write fails with EFBIG and is
    // reported like any other failure, rather than the signal ending the
    // program without a word.
    std::signal(SIGXFSZ, SIG_IGN);

    // Before the application exists: it would want a display.
    if (argc > 1)
        if (int status = answerOption(argv[1]); status >= 0)
            return status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QApplication::setWindowIcon(AppIcon());
    QGuiApplication::setDesktopFileName(QString::fromLatin1(volm::kAppId));

    // Qt has taken its own options out by now.
    QStringList args = QApplication::arguments();
    QString screenshots;
    if (args.size() >= 3 && args[1] == QStringLiteral("--screenshots")) {
        screenshots = args[2];
        args.remove(1, 2);
    }
    if (args.size() > 1) {
        if (int status = answerOption(args[1].toLocal8Bit().constData()); status >= 0)
            return status;
        if (args[1] == QStringLiteral("--")) {
            args.remove(1);
        } else if (args[1].startsWith(QStringLiteral("--"))) {
            std::fprintf(stderr, "volm: unknown option \"%s\" (see volm --help)\n", args[1].toLocal8Bit().constData());
            return 2;
        }
    }

    std::unique_ptr<TForm1> frame;
    std::unique_ptr<TAboutBox> about;
    std::unique_ptr<TForm3> build;
    try {
        frame = std::make_unique<TForm1>(&newProjectWindow);
        about = std::make_unique<TAboutBox>(frame.get());
        build = std::make_unique<TForm3>(frame.get());
        setBuildParamsDialog(build.get());
        frame->setAboutBox(about.get());
    } catch (const std::exception& e) {
        ShowException(e);
        return 1;
    }
    // The first argument, exactly as given; the rest are ignored.
    frame->setCommandLineProject(args.size() > 1 ? args[1] : QString());
    frame->resize(900, 640);
    frame->show();

    if (!screenshots.isEmpty())
        return takeScreenshots(*frame, *about, *build, QDir(screenshots));
    const int status = app.exec();
    build.reset();
    about.reset();
    frame.reset();
    return status;
}
