// Start-up of the desktop program: the application and its title, the main
// window, the about box and the build parameters dialog, then the message
// loop. The main window, once shown, registers the project file type and
// opens the project named by the first command-line argument.
//
// --help and --version are answered before anything is shown (no display is
// needed); another first argument that begins with "--" is refused (exit
// status 2), and "--" lets a project named "--..." through.

#include "app/Errorbox.h"
#include "app/Filetype.h"
#include "app/Startup.h"

#include <QApplication>

#include <csignal>
#include <cstdio>
#include <cstring>

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
// As the About box shows it (the version record's "1.0.0. Build 1").
const char kVersion[] = "volm " VOLM_STR(VOLM_VERSION_MAJOR) "." VOLM_STR(VOLM_VERSION_MINOR) "." VOLM_STR(
    VOLM_VERSION_PATCH) ". Build " VOLM_STR(VOLM_VERSION_TWEAK) "\n";

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

    TProgramWindows windows;
    try {
        // The first argument, exactly as given; the rest are ignored.
        windows = MakeProgramWindows(args.size() > 1 ? args[1] : QString());
    } catch (const std::exception& e) {
        ShowException(e);
        return 1;
    }
    TForm1* frame = windows.frame.get();
    frame->resize(900, 640);
    frame->show();

    const int status = app.exec();
    windows.Reset();
    return status;
}
