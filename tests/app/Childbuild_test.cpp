// The project window's "&Document" commands that reach the phone: the font
// choice, the custom-font switch and generation, driven through the menu.
#include "app/Errorbox.h"
#include "app/Fontdialog.h"
#include "app/Jbuild.h"
#include "app/Child.h"
#include "storage/Project.h"

#include "Testutil.h"
#include "app/Guitest.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QComboBox>
#include <QListWidget>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

using namespace volm;
using namespace volm::ui;
using namespace volm::test;

namespace {

// A project window inside a main window (for its status bar).
struct TWindow {
    QMainWindow frame;
    TForm2* form = new TForm2;
    explicit TWindow(const fs::path& project)
    {
        frame.setCentralWidget(form);
        frame.statusBar()->showMessage(QStringLiteral("Ready"));
        frame.show();
        EXPECT_TRUE(form->OpenProject(QString::fromStdString(project.string())));
    }
    QString status() const { return frame.statusBar()->currentMessage(); }
};

fs::path sampleCopy(const TempDir& dir)
{
    const fs::path sample = sourceDir() / "examples" / "Sample.volm";
    const fs::path copy = dir / "Sample.volm";
    if (fs::exists(sample))
        fs::copy_file(sample, copy);
    return copy;
}

QString fixedFamily(TFontDialog* d)
{
    for (const QString& f : d->FixedPitchFamilies())
        if (f != QStringLiteral("Courier New") && f != QString::fromStdString(d->Font().name))
            return f;
    return {};
}

} // namespace

TEST(Childbuild, FontMenuChoosesStoresAndRestoresTheFont)
{
    TempDir dir;
    const fs::path project = dir / "Book.volm";
    Messages messages;
    QString family;
    {
        TWindow w(project);
        EXPECT_FALSE(w.form->Usecustomfont1->isChecked());
        family = fixedFamily(w.form->FontDialog1);
        if (family.isEmpty())
            GTEST_SKIP() << "no fixed-pitch font installed";

        // Cancel: the file is not touched.
        const std::string before = readFile(project);
        QTimer::singleShot(0, [&] { w.form->FontDialog1->CancelButton->click(); });
        w.form->ChooseFontAction->trigger();
        EXPECT_EQ(readFile(project), before);
        EXPECT_FALSE(w.form->Usecustomfont1->isChecked());

        QTimer::singleShot(0, [&] {
            TFontDialog* d = w.form->FontDialog1;
            d->FontList->setCurrentItem(d->FontList->findItems(family, Qt::MatchExactly).front());
            d->ScriptBox->setCurrentIndex(d->ScriptBox->findText(QStringLiteral("Cyrillic")));
            d->OkButton->click();
        });
        w.form->ChooseFontAction->trigger();
        EXPECT_TRUE(w.form->Usecustomfont1->isChecked());
        EXPECT_EQ(w.form->RxRichEdit1->font().family(), family);
    }
    {
        TWindow w(project);
        EXPECT_TRUE(w.form->Usecustomfont1->isChecked());
        EXPECT_EQ(w.form->FontDialog1->Font().name, family.toStdString());
        EXPECT_EQ(w.form->FontDialog1->Font().charset, RUSSIAN_CHARSET);
        EXPECT_EQ(w.form->RxRichEdit1->font().family(), family);
        w.form->Usecustomfont1->trigger(); // off, saved at once
        EXPECT_FALSE(w.form->Usecustomfont1->isChecked());
    }
    TWindow w(project);
    EXPECT_FALSE(w.form->Usecustomfont1->isChecked());
    EXPECT_EQ(w.form->FontDialog1->Font().name, family.toStdString());
    EXPECT_TRUE(messages.shown.empty());
}

TEST(Childbuild, GenerateMenuBuildsTheJarOrWritesNothingOnCancel)
{
    TempDir dir;
    const fs::path project = sampleCopy(dir);
    Messages messages;
    TForm3 dialog(nullptr, dir / "registry.ini");
    setBuildParamsDialog(&dialog);
    TWindow w(project);
    if (w.form->Project().TopicCount() == 0)
        w.form->Project().AddTopic("Only topic");

    QTimer::singleShot(0, [&] { dialog.BitBtn2->click(); });
    w.form->GenerateJAVA1->trigger();
    EXPECT_FALSE(fs::exists(dir / "Sample"));
    EXPECT_EQ(w.status(), QStringLiteral("Ready"));

    QTimer::singleShot(0, [&] { dialog.BitBtn1->click(); });
    w.form->GenerateJAVA1->trigger();
    setBuildParamsDialog(nullptr);
    EXPECT_TRUE(messages.shown.empty()) << (messages.shown.empty() ? "" : messages.shown[0].text.toStdString());
    EXPECT_EQ(w.status(), QStringLiteral("Done. Subfolder was created. The book: ") +
                              QString::fromStdString((dir / "Sample" / "Sample.jar").string()) +
                              QStringLiteral(" (MIDlet-Version 1.0.1)"));
    EXPECT_TRUE(w.frame.statusBar()->findChildren<QProgressBar*>().isEmpty());
    EXPECT_TRUE(fs::exists(dir / "Sample" / "Sample.jar"));
    EXPECT_TRUE(fs::exists(dir / "Sample" / "Sample.jad"));
    EXPECT_TRUE(fs::exists(dir / "Sample" / "manifest.mf"));
    RunResult t = run({"unzip", "-t", (dir / "Sample" / "Sample.jar").string()});
    EXPECT_EQ(t.status, 0) << t.out << t.err;

    // The reader on the simulated phone lists every topic of the book.
    const fs::path harness = binaryDir() / "reader" / "harness";
#ifndef VOLM_HAVE_HARNESS
    GTEST_SKIP() << "no Java was found when the build was configured: the simulated phone is not built";
#endif
    RunResult phone = run({"java", "-Djava.awt.headless=true", "-cp", harness.string(), "ReaderHarness", "--jar",
                           (dir / "Sample" / "Sample.jar").string(), "menu"});
    ASSERT_EQ(phone.status, 0) << phone.out << phone.err;
    const size_t lines = static_cast<size_t>(std::count(phone.out.begin(), phone.out.end(), '\n'));
    EXPECT_EQ(lines, w.form->Project().TopicCount()) << phone.out;
    const std::string first = w.form->Project().Item(0).GetName();
    EXPECT_EQ(phone.out.rfind(first, 0), 0u) << phone.out;
}

namespace {

std::string storedFolder(const fs::path& project)
{
    TProject p;
    p.Open(project.string(), TProject::omReadOnly);
    return p.OutputFolder();
}

} // namespace

// The book folder is where the dialog shows; "Change..." moves it and the
// project keeps the choice; a folder that can't be written asks where else.
TEST(Childbuild, TheBookFolderIsChosenKeptWithTheBookAndAskedForWhenItCantBeWritten)
{
    TempDir dir;
    const fs::path project = sampleCopy(dir);
    fs::create_directories(dir / "out");
    fs::create_directories(dir / "other");
    Messages messages;
    Questions questions;
    TForm3 dialog(nullptr, dir / "registry.ini");
    setBuildParamsDialog(&dialog);
    {
        TWindow w(project);
        QTimer::singleShot(0, [&] {
            EXPECT_EQ(dialog.FolderEdit->text().toStdString(), (dir / "Sample").string() + "/");
            chooseFolderWhenAsked(dir / "out");
            dialog.FolderButton->click();
            EXPECT_EQ(dialog.FolderEdit->text().toStdString(), (dir / "out" / "Sample").string() + "/");
            dialog.BitBtn1->click();
        });
        w.form->GenerateJAVA1->trigger();
        EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
        EXPECT_TRUE(fs::exists(dir / "out" / "Sample" / "Sample.jar"));
        EXPECT_FALSE(fs::exists(dir / "Sample"));
        EXPECT_TRUE(w.status().contains(QString::fromStdString((dir / "out" / "Sample").string()))) << w.status().toStdString();
        EXPECT_TRUE(w.form->OpenBookFolderAction->isEnabled());
    }
    EXPECT_EQ(storedFolder(project), (dir / "out").string());

    // Stored with the book: the next window offers it. A folder nobody may
    // create a folder in gets the question, and the folder chosen then.
    const std::string locked = "/sys/fs";
    {
        TProject p;
        p.Open(project.string(), TProject::omOpenExisting);
        p.SaveOutputFolder(locked);
    }
    {
        TWindow w(project);
        questions.answers = {kYes};
        questions.onAsk = [&] { EXPECT_TRUE(w.status().startsWith(QStringLiteral("Build failed: "))); };
        QTimer::singleShot(0, [&] {
            EXPECT_EQ(dialog.FolderEdit->text().toStdString(), locked + "/Sample/");
            chooseFolderWhenAsked(dir / "other");
            dialog.BitBtn1->click();
        });
        w.form->GenerateJAVA1->trigger();
        ASSERT_EQ(questions.asked.size(), 1u);
        EXPECT_TRUE(questions.asked[0].text.contains(QStringLiteral("/sys/fs/Sample/"))) << questions.asked[0].text.toStdString();
        EXPECT_TRUE(questions.asked[0].text.contains(QStringLiteral("Build the book in another folder?")));
        EXPECT_TRUE(messages.shown.empty()) << messages.all().toStdString();
        EXPECT_TRUE(fs::exists(dir / "other" / "Sample" / "Sample.jar"));
    }
    EXPECT_EQ(storedFolder(project), (dir / "other").string());

    // Answered No: the build failed, and says so.
    {
        TProject p;
        p.Open(project.string(), TProject::omOpenExisting);
        p.SaveOutputFolder(locked);
    }
    {
        TWindow w(project);
        questions.answers = {kNo};
        QTimer::singleShot(0, [&] { dialog.BitBtn1->click(); });
        w.form->GenerateJAVA1->trigger();
        EXPECT_EQ(questions.asked.size(), 2u);
        EXPECT_TRUE(w.status().startsWith(QStringLiteral("Build failed: "))) << w.status().toStdString();
        EXPECT_EQ(messages.shown.size(), 1u);
    }
    EXPECT_EQ(storedFolder(project), locked);
    setBuildParamsDialog(nullptr);
}
