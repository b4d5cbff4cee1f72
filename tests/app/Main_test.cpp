#include "app/Errorbox.h"
#include "app/Filetype.h"
#include "app/Main.h"
#include "common/Registry.h"

#include "Testutil.h"
#include "app/Guitest.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <set>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;

namespace {

// What the fake project windows did, in order.
std::vector<std::string>& journal()
{
    static std::vector<std::string> j;
    return j;
}

// Files held open by a fake window (the exclusive sharing of real projects).
std::set<std::string>& heldFiles()
{
    static std::set<std::string> s;
    return s;
}

// A project window that "opens" a file the way the project model does as far
// as the frame can tell: a missing file is created, a file that is not a
// project (no compound-file signature) is refused, a file that is already
// held under another spelling is refused.
class TFakeProject : public TProjectWindow {
public:
    explicit TFakeProject(QWidget* parent) : TProjectWindow(parent)
    {
        menu_ = new QMenu(QStringLiteral("&Document"), this);
        menu_->addAction(QStringLiteral("&Pack"));
    }
    ~TFakeProject() override { release(); }

    bool OpenProject(const QString& path) override
    {
        const std::string p = path.toStdString();
        std::error_code ec;
        const auto canon = std::filesystem::weakly_canonical(p, ec).string();
        if (heldFiles().count(canon))
            return false;
        if (std::filesystem::exists(p)) {
            if (volm::test::readFile(p).substr(0, 4) != "\xD0\xCF\x11\xE0")
                return false;
        } else {
            std::ofstream out(p, std::ios::binary);
            if (!out)
                return false;
            out << "\xD0\xCF\x11\xE0";
        }
        heldFiles().insert(canon);
        canon_ = canon;
        path_ = path;
        setWindowTitle(path);
        journal().push_back("open " + p);
        return true;
    }
    bool HoldsProject(const QString& path) const override
    {
        return !path_.isEmpty() && path_ == path;
    }
    QMenu* MergedMenu() const override { return menu_; }

protected:
    void closeEvent(QCloseEvent* e) override
    {
        if (!path_.isEmpty())
            journal().push_back("close " + path_.toStdString());
        release();
        e->accept();
    }

private:
    void release()
    {
        heldFiles().erase(canon_);
        canon_.clear();
        path_.clear();
    }
    QString path_;
    std::string canon_;
    QMenu* menu_;
};

TProjectWindow* fakeFactory(TForm1* frame)
{
    return new TFakeProject(frame);
}

QStringList menuTitles(QMainWindow& w)
{
    QStringList out;
    for (QAction* a : w.menuBar()->actions())
        out << a->text();
    return out;
}

QStringList itemTexts(QMenu* m)
{
    QStringList out;
    for (QAction* a : m->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        journal().clear();
        heldFiles().clear();
    }
    TempDir dir;
    Messages messages;
};

} // namespace

TEST(ErrorBox, FullStopRuleAndTheRealBox)
{
    EXPECT_EQ(errorBoxText(QStringLiteral("Disk full")), QStringLiteral("Disk full."));
    EXPECT_EQ(errorBoxText(QStringLiteral("Code 5")), QStringLiteral("Code 5."));
    EXPECT_EQ(errorBoxText(QStringLiteral("Not supported version!")),
              QStringLiteral("Not supported version!"));
    EXPECT_EQ(errorBoxText(QStringLiteral("Done.")), QStringLiteral("Done."));
    EXPECT_EQ(errorBoxText(QStringLiteral("(see above)")), QStringLiteral("(see above)"));
    EXPECT_EQ(errorBoxText(QStringLiteral("Ошибка")), QStringLiteral("Ошибка."));
    EXPECT_EQ(errorBoxText(QString()), QString());
    // Messages of ours are UTF-8, or Windows-1251 bytes (topic names).
    EXPECT_EQ(fromMessage("\xd0\xa2\xd0\xb5\xd0\xbc\xd0\xb0"), QStringLiteral("Тема"));
    EXPECT_EQ(fromMessage("\xd2\xe5\xec\xe0"), QStringLiteral("Тема"));

    // The real box: title "Volm", stop icon, one OK button.
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        text = box->text();
        icon = box->icon();
        buttons = box->standardButtons();
        box->accept();
    });
    ShowException(std::runtime_error("Failed to set data for 'Flags'"));
    EXPECT_EQ(title, QStringLiteral("Volm"));
    EXPECT_EQ(text, QStringLiteral("Failed to set data for 'Flags'")); // "'" comes before "."
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(FrameTest, MenusHintsAndWindowCommands)
{
    TForm1 frame(fakeFactory);
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("Volm"));
    EXPECT_EQ(menuTitles(frame), (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&View"),
                                              QStringLiteral("&Window"), QStringLiteral("&Help")}));
    EXPECT_EQ(itemTexts(frame.EditMenu),
              (QStringList{QStringLiteral("&Undo"), QStringLiteral("&Redo"), QStringLiteral("-"),
                           QStringLiteral("&Find..."), QStringLiteral("Find in all &topics...")}));
    EXPECT_FALSE(frame.aUndo->isEnabled()); // no project window
    EXPECT_EQ(itemTexts(frame.FileMenu),
              (QStringList{QStringLiteral("&Open/Create..."), QStringLiteral("&New book from file..."),
                           QStringLiteral("-"), QStringLiteral("&Exit")}));
    EXPECT_EQ(itemTexts(frame.WindowMenu),
              (QStringList{QStringLiteral("&Arrange"), QStringLiteral("&Cascade"), QStringLiteral("C&lose"),
                           QStringLiteral("&Minimize All"), QStringLiteral("Tile &Horizontally"),
                           QStringLiteral("&Tile Vertically")}));
    EXPECT_EQ(itemTexts(frame.HelpMenu), (QStringList{QStringLiteral("&About...")}));
    for (QAction* a : frame.WindowMenu->actions())
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();

    // The hint of what is under the mouse goes to the status bar's simple text.
    frame.aOpen->showStatusText(&frame);
    EXPECT_EQ(frame.StatusBarWithComps1->SimpleText(),
              QStringLiteral("Select existing file or type new name to create"));
    QStatusTipEvent leave{QString()};
    QApplication::sendEvent(&frame, &leave);
    EXPECT_EQ(frame.StatusBarWithComps1->SimpleText(), QString());
    // Other controls can sit on the status bar (a progress bar while building).
    auto* child = new QLineEdit(frame.StatusBarWithComps1);
    frame.StatusBarWithComps1->addWidget(child);
    EXPECT_EQ(child->parentWidget(), frame.StatusBarWithComps1);

    frame.show();
    const std::string a = (dir / "a.volm").string(), b = (dir / "b.volm").string();
    frame.OpenOrCreateProject(QString::fromStdString(a));
    frame.OpenOrCreateProject(QString::fromStdString(b));
    ASSERT_EQ(frame.projectWindows().size(), 2);
    for (QAction* a2 : frame.WindowMenu->actions())
        EXPECT_TRUE(a2->isEnabled()) << a2->text().toStdString();
    // The active window's "&Document" menu sits between "&View" and "&Window".
    EXPECT_EQ(menuTitles(frame),
              (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit"), QStringLiteral("&View"),
                           QStringLiteral("&Document"), QStringLiteral("&Window"), QStringLiteral("&Help")}));
    EXPECT_EQ(frame.menuBar()->actions()[3], frame.projectWindows()[1]->MergedMenu()->menuAction());

    frame.MinimizeAll();
    for (QMdiSubWindow* s : frame.MdiArea->subWindowList())
        EXPECT_TRUE(s->isMinimized());
    frame.ArrangeIcons();
    const auto subs = frame.MdiArea->subWindowList(QMdiArea::CreationOrder);
    EXPECT_EQ(subs[0]->y(), subs[1]->y());
    EXPECT_LT(subs[0]->x(), subs[1]->x());
    for (QMdiSubWindow* s : subs)
        s->showNormal();
    frame.TileHorizontally();
    EXPECT_EQ(subs[0]->width(), frame.MdiArea->viewport()->width());
    EXPECT_EQ(subs[1]->y(), subs[0]->height());
    frame.TileVertically();
    EXPECT_EQ(subs[0]->height(), frame.MdiArea->viewport()->height());
    EXPECT_EQ(subs[1]->x(), subs[0]->width());

    // "C&lose" closes the active window; with none left the commands go grey
    // and the merged menu goes away.
    frame.WindowClose->trigger();
    QApplication::processEvents();
    ASSERT_EQ(frame.projectWindows().size(), 1);
    frame.MdiArea->setActiveSubWindow(frame.MdiArea->subWindowList().first());
    frame.WindowClose->trigger();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_TRUE(frame.projectWindows().isEmpty());
    EXPECT_FALSE(frame.WindowCascade->isEnabled());
    EXPECT_FALSE(frame.WindowClose->isEnabled());
    EXPECT_EQ(menuTitles(frame).size(), 5);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FrameTest, SamePathComesToFrontOtherSpellingsAndTextFilesAreRefused)
{
    TForm1 frame(fakeFactory);
    frame.show();
    const QString a = QString::fromStdString((dir / "a.volm").string());
    frame.OpenOrCreateProject(a);
    ASSERT_EQ(frame.projectWindows().size(), 1);
    EXPECT_TRUE(std::filesystem::exists((dir / "a.volm")));
    EXPECT_EQ(frame.MdiArea->subWindowList()[0]->windowTitle(), a);
    frame.OpenOrCreateProject(QString::fromStdString((dir / "b.volm").string()));
    ASSERT_EQ(frame.projectWindows().size(), 2);

    // The same spelling: the first window comes to the front, nothing opens.
    frame.OpenOrCreateProject(a);
    EXPECT_EQ(frame.projectWindows().size(), 2);
    EXPECT_EQ(frame.activeProjectWindow(), frame.projectWindows()[0]);
    EXPECT_EQ(journal().size(), 2u);
    EXPECT_TRUE(messages.shown.empty());

    // Another spelling of the same file: refused, the first window stays.
    frame.OpenOrCreateProject(QString::fromStdString((dir / "." / "a.volm").string()));
    EXPECT_EQ(frame.projectWindows().size(), 2);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Can't create/open file.")); // no cause known
    EXPECT_EQ(messages.shown[0].title, QStringLiteral("Volm"));
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(frame.projectWindows()[0]->HoldsProject(a));

    // A plain text file is refused and left as it was.
    const auto txt = dir / "notes.txt";
    volm::test::writeFile(txt, "just text\r\n");
    frame.OpenOrCreateProject(QString::fromStdString(txt.string()));
    EXPECT_EQ(frame.projectWindows().size(), 2);
    EXPECT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(volm::test::readFile(txt), "just text\r\n");
}

TEST_F(FrameTest, CommandLineProjectRegistrationAndShutdown)
{
    const std::string missing = (dir / "new book.volm").string();
    std::vector<std::string> order;
    {
        TForm1 frame(fakeFactory);
        frame.setCommandLineProject(QString::fromStdString(missing));
        frame.show();
        ASSERT_EQ(frame.projectWindows().size(), 1);
        EXPECT_TRUE(frame.projectWindows()[0]->HoldsProject(QString::fromStdString(missing)));
        frame.OpenOrCreateProject(QString::fromStdString((dir / "second.volm").string()));
        frame.close(); // every project window closes, first to last
        EXPECT_TRUE(frame.projectWindows().isEmpty());
    }
    EXPECT_EQ(journal(), (std::vector<std::string>{"open " + missing,
                                                    "open " + (dir / "second.volm").string(),
                                                    "close " + missing,
                                                    "close " + (dir / "second.volm").string()}));
    EXPECT_TRUE(messages.shown.empty());

    // The five values of the file type, naming this program.
    TRegistry reg(RegRoot::ClassesRoot);
    const std::string program = programPath();
    ASSERT_TRUE(reg.OpenKeyReadOnly(".volm"));
    EXPECT_EQ(reg.ReadString(""), "volm");
    ASSERT_TRUE(reg.OpenKeyReadOnly("volm"));
    EXPECT_EQ(reg.ReadString(""), "Volm project file");
    ASSERT_TRUE(reg.OpenKeyReadOnly("volm\\DefaultIcon"));
    EXPECT_EQ(reg.ReadString(""), program + ",0");
    ASSERT_TRUE(reg.OpenKeyReadOnly("volm\\Shell"));
    EXPECT_EQ(reg.ReadString(""), "Open");
    ASSERT_TRUE(reg.OpenKeyReadOnly("volm\\Shell\\Open\\command"));
    EXPECT_EQ(reg.ReadString(""), program + " \"%1\"");

    // No argument (or an empty one) opens nothing.
    journal().clear();
    TForm1 frame(fakeFactory);
    frame.setCommandLineProject(QString());
    frame.show();
    EXPECT_TRUE(frame.projectWindows().isEmpty());
    EXPECT_TRUE(journal().empty());
}

TEST_F(FrameTest, FailedRegistrationIsShownAndTheProjectStillOpens)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/proc/volm-cannot-write");
    const std::string path = (dir / "p.volm").string();
    {
        TForm1 frame(fakeFactory);
        frame.setCommandLineProject(QString::fromStdString(path));
        frame.show();
        EXPECT_EQ(frame.projectWindows().size(), 1);
    }
    qputenv("XDG_CONFIG_HOME", saved);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QStringLiteral("Failed to create key .volm."));
    EXPECT_EQ(messages.shown[0].icon, QMessageBox::Critical);
}

TEST_F(FrameTest, OpenDialogAddsTheExtensionAndCancelDoesNothing)
{
    TForm1 frame(fakeFactory);
    frame.show();
    QFileDialog* d = frame.OpenProjectDialog;
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Load project"));
    EXPECT_EQ(d->nameFilters(), QStringList{QStringLiteral("Project files (*.volm)")});
    EXPECT_EQ(d->defaultSuffix(), QStringLiteral("volm"));
    EXPECT_EQ(d->fileMode(), QFileDialog::AnyFile);

    d->setDirectory(QString::fromStdString(dir.path().string()));
    QTimer::singleShot(0, [d] { d->reject(); });
    frame.aOpen->trigger();
    EXPECT_TRUE(frame.projectWindows().isEmpty());

    // A new name typed without extension: the program asks before it
    // creates the project ("No" first, then "Yes").
    Questions questions;
    questions.answers = {kNo, kYes};
    for (int i = 0; i < 2; ++i) {
        chooseFile(d, "Tales");
        frame.aOpen->trigger();
        EXPECT_EQ(frame.projectWindows().size(), i);
    }
    ASSERT_EQ(questions.asked.size(), 2u);
    EXPECT_TRUE(questions.asked[0].text.contains(QStringLiteral("does not exist")));
    EXPECT_EQ(questions.asked[0].buttons, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
    ASSERT_EQ(frame.projectWindows().size(), 1);
    const QString want = QString::fromStdString((dir / "Tales.volm").string());
    EXPECT_TRUE(frame.projectWindows()[0]->HoldsProject(want));
    EXPECT_TRUE(std::filesystem::exists(dir / "Tales.volm"));
}

TEST(Filetype, DesktopEntryAndMimeType)
{
    EXPECT_EQ(desktopExec("/usr/bin/volm"), "\"/usr/bin/volm\" %f");
    EXPECT_EQ(desktopExec("/opt/my apps/100%/vo\"lm"),
              "\"/opt/my apps/100%%/vo\\\\\"lm\" %f");

    TempDir data;
    InstallDesktopIntegration("/opt/my apps/volm", data.path(), {}, {{48, "png48"}, {256, "png256"}});
    // The icon in the user's icon theme, named as the entry names it.
    EXPECT_EQ(volm::test::readFile(data / ("icons/hicolor/48x48/apps/" + std::string(kAppId) + ".png")), "png48");
    EXPECT_EQ(volm::test::readFile(data / ("icons/hicolor/256x256/apps/" + std::string(kAppId) + ".png")), "png256");
    const std::string xml = volm::test::readFile(data / "mime/packages/volm-project.xml");
    EXPECT_NE(xml.find("<glob pattern=\"*.volm\"/>"), std::string::npos);
    const std::string entry = volm::test::readFile(data / "applications/volm.desktop");
    EXPECT_NE(entry.find("Exec=\"/opt/my apps/volm\" %f\n"), std::string::npos);
    EXPECT_NE(entry.find("MimeType=application/x-volm-project;\n"), std::string::npos);
    EXPECT_NE(entry.find("Icon=" + std::string(kAppId) + "\n"), std::string::npos);
    if (volm::test::haveProgram("update-mime-database")) {
        const std::string globs = volm::test::readFile(data / "mime/globs2");
        EXPECT_NE(globs.find("application/x-volm-project:*.volm"), std::string::npos) << globs;
        // Unchanged files: the database is not rebuilt again.
        EXPECT_FALSE(InstallDesktopIntegration("/opt/my apps/volm", data.path(), {}));
    }
    if (volm::test::haveProgram("desktop-file-validate")) {
        auto r = volm::test::run({"desktop-file-validate", (data / "applications/volm.desktop").string()});
        EXPECT_EQ(r.status, 0) << r.out << r.err;
    }
}

// With the package installed, its desktop entry and MIME type are the
// system's: the user gets no copies, and loses those an earlier start (say,
// of a build before the package was installed) wrote.
TEST(Filetype, InstalledPackageMakesTheUserCopiesDuplicates)
{
    namespace fs = std::filesystem;
    TempDir data, system;
    const fs::path entry = data / "applications/volm.desktop";
    const fs::path xml = data / "mime/packages/volm-project.xml";
    InstallDesktopIntegration("/home/u/volm/build/volm", data.path(), {system.path()});
    ASSERT_TRUE(fs::exists(entry));
    ASSERT_TRUE(fs::exists(xml));

    // Only the desktop entry is installed: the MIME type is still the user's.
    const std::string id = kAppId;
    fs::create_directories(system / "applications");
    fs::create_directories(system / "mime/packages");
    volm::test::writeFile(system / ("applications/" + id + ".desktop"), "[Desktop Entry]\n");
    InstallDesktopIntegration("/home/u/volm/build/volm", data.path(), {"/no/such/dir", system.path()});
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_TRUE(fs::exists(xml));

    volm::test::writeFile(system / ("mime/packages/" + id + ".xml"), "<mime-info/>\n");
    const bool refreshed = InstallDesktopIntegration("/home/u/volm/build/volm", data.path(), {system.path()});
    EXPECT_FALSE(fs::exists(xml));
    if (volm::test::haveProgram("update-mime-database")) {
        // The user's MIME database forgets the type.
        EXPECT_TRUE(refreshed);
        EXPECT_EQ(volm::test::readFile(data / "mime/globs2").find("*.volm"), std::string::npos);
    }
    // Nothing more to do, and a file of the same name that is not ours stays.
    volm::test::writeFile(entry, "[Desktop Entry]\nType=Application\nName=Mine\nExec=mine\n");
    EXPECT_FALSE(InstallDesktopIntegration("/home/u/volm/build/volm", data.path(), {system.path()}));
    EXPECT_TRUE(fs::exists(entry));
    EXPECT_FALSE(fs::exists(xml));
}

TEST(Filetype, SystemDataFoldersFromTheEnvironment)
{
    const char* saved = std::getenv("XDG_DATA_DIRS");
    const std::string keep = saved ? saved : "";
    setenv("XDG_DATA_DIRS", "relative/share:/opt/volm/share::/usr/share/", 1);
    const std::vector<std::filesystem::path> given = dataDirs();
    unsetenv("XDG_DATA_DIRS");
    const std::vector<std::filesystem::path> unset = dataDirs();
    setenv("XDG_DATA_DIRS", "", 1);
    const std::vector<std::filesystem::path> empty = dataDirs();
    if (saved)
        setenv("XDG_DATA_DIRS", keep.c_str(), 1);
    else
        unsetenv("XDG_DATA_DIRS");
    EXPECT_EQ(given, (std::vector<std::filesystem::path>{"/opt/volm/share", "/usr/share/"}));
    const std::vector<std::filesystem::path> defaults{"/usr/local/share", "/usr/share"};
    EXPECT_EQ(unset, defaults);
    EXPECT_EQ(empty, defaults);
}

// Every window of the program carries the desktop icon, in all its sizes.
TEST(MainWindow, CarriesTheProgramIcon)
{
    TForm1 frame(fakeFactory);
    QList<QSize> sizes = frame.windowIcon().availableSizes();
    std::sort(sizes.begin(), sizes.end(), [](QSize a, QSize b) { return a.width() < b.width(); });
    const QList<QSize> want{{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
    EXPECT_EQ(sizes, want);
    const QImage big = frame.windowIcon().pixmap(256).toImage();
    ASSERT_FALSE(big.isNull());
    // Transparent corners, an opaque middle (the phone).
    EXPECT_EQ(qAlpha(big.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(big.pixel(128, 128)), 255);
}
