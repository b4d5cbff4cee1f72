#include "app/Generate.h"

#include "app/Errorbox.h"
#include "book/Fontimage.h"
#include "app/Jbuild.h"
#include "storage/Project.h"
#include "text/Hyphenate.h"

#include "Testutil.h"
#include "book/Jartest.h"
#include "app/Guitest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace volm;
using namespace volm::ui;
using namespace volm::test;

namespace {

// A main window with a status bar, a scratch registry and a book.
struct TFixture {
    TempDir dir;
    QMainWindow window;
    TForm3 dialog{nullptr, dir / "registry.ini"};
    TTopicList topics{{"First", "One\r\nline two\r\n"}, {"Second", "Two"}};
    std::vector<TShownMessage> boxes;
    int boxesDuringBuild = 0;

    TFixture()
    {
        window.statusBar()->showMessage(QStringLiteral("Ready"));
        window.show();
        setMessageSink([this](const TShownMessage& m) {
            boxes.push_back(m);
            boxesDuringBuild += Generating();
        });
    }
    ~TFixture() { setMessageSink({}); }

    TGenerateTarget target(const std::string& project)
    {
        TGenerateTarget t;
        t.ProjectPath = project;
        t.Topics = &topics;
        t.Dialog = &dialog;
        t.StatusBar = window.statusBar();
        t.parent = &window;
        return t;
    }
    QString status() const { return window.statusBar()->currentMessage(); }
};

// Runs the command; `act` answers the build parameters dialog.
TGenerateOutcome generate(TFixture& f, const TGenerateTarget& t, std::function<void(TForm3&)> act)
{
    QTimer::singleShot(0, [&] { act(f.dialog); });
    return GenerateMidlet(t);
}

void build(TForm3& d)
{
    d.BitBtn1->click();
}

} // namespace

TEST(Generate, CancelWritesNothingAndLeavesTheStatusText)
{
    TFixture f;
    const std::string project = (f.dir / "Tales.volm").string();
    writeFile(project, "");
    EXPECT_EQ(generate(f, f.target(project), [](TForm3& d) { d.BitBtn2->click(); }),
              TGenerateOutcome::Cancelled);
    EXPECT_FALSE(fs::exists(f.dir / "Tales"));
    EXPECT_EQ(f.status(), QStringLiteral("Ready"));
    EXPECT_TRUE(f.window.statusBar()->findChildren<QProgressBar*>().isEmpty());
    EXPECT_TRUE(f.boxes.empty());
}

TEST(Generate, BuildWritesJarAndJadWithTheUntrimmedTexts)
{
    TFixture f;
    const std::string project = (f.dir / "Tales.volm").string();
    writeFile(project, "");
    TGenerateTarget t = f.target(project);
    t.Font.useCustomFont = true;
    t.Font.font.name = "Liberation Mono";
    t.Font.font.height = -12;

    // While the font image is drawn: the status text, the progress bar on the
    // status bar, and no window may be closed.
    bool rendered = false;
    t.RenderFont = [&](const TFontChoice& font) {
        rendered = true;
        EXPECT_TRUE(Generating());
        EXPECT_EQ(f.status(), QStringLiteral("Building..."));
        const auto bars = f.window.statusBar()->findChildren<QProgressBar*>();
        EXPECT_EQ(bars.size(), 1);
        if (!bars.isEmpty()) {
            EXPECT_TRUE(bars.front()->isVisible());
            EXPECT_GT(bars.front()->value(), 0);
        }
        EXPECT_FALSE(f.window.close());
        EXPECT_TRUE(f.window.isVisible());
        return FontImagePng(font);
    };

    EXPECT_EQ(generate(f, t, [](TForm3& d) {
                  d.Edit1->setText(QStringLiteral("ACME "));
                  d.Edit2->setText(QStringLiteral(" http://x/"));
                  build(d);
              }),
              TGenerateOutcome::Built);
    EXPECT_TRUE(rendered);
    EXPECT_FALSE(Generating());
    EXPECT_TRUE(f.boxes.empty()) << (f.boxes.empty() ? "" : f.boxes[0].text.toStdString());
    // The status text of a finished build, then where the jar is.
    EXPECT_EQ(f.status(), QStringLiteral("Done. Subfolder was created. The book: ") +
                              QString::fromStdString((f.dir / "Tales" / "Tales.jar").string()) +
                              QStringLiteral(" (MIDlet-Version 1.0.1)"));
    EXPECT_TRUE(f.window.statusBar()->findChildren<QProgressBar*>().isEmpty());

    const fs::path book = f.dir / "Tales";
    ASSERT_TRUE(fs::exists(book / "Tales.jar"));
    const std::string jad = readFile(book / "Tales.jad");
    EXPECT_NE(jad.find("MIDlet-Vendor: ACME \r\n"), std::string::npos) << jad;
    EXPECT_NE(jad.find("MIDlet-Info-URL:  http://x/\r\n"), std::string::npos) << jad;
    EXPECT_NE(jad.find("MIDlet-Jar-Size: " + std::to_string(fs::file_size(book / "Tales.jar")) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(readFile(book / "manifest.mf"), jad.substr(0, readFile(book / "manifest.mf").size()));
    // The registry got the texts trimmed; the window can be closed again.
    EXPECT_EQ(storedBuildTexts(f.dir / "registry.ini").vendor, "ACME");
    EXPECT_TRUE(f.window.close());

    RunResult r = run({"unzip", "-Z1", (book / "Tales.jar").string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("images/Font.png"), std::string::npos);
    EXPECT_NE(r.out.find("texts/itm2"), std::string::npos);
}

TEST(Generate, AFailureShowsItsOwnTextAndTheStatusSaysTheBuildFailed)
{
    TFixture f;
    const std::string project = (f.dir / "Tales.volm").string();
    writeFile(project, "");
    writeFile(f.dir / "Tales", "a file where the book folder should be");
    EXPECT_EQ(generate(f, f.target(project), build), TGenerateOutcome::Failed);
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].title, QStringLiteral("Volm"));
    EXPECT_EQ(f.boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(f.boxes[0].text.contains(QString::fromStdString((f.dir / "Tales").string())))
        << f.boxes[0].text.toStdString();
    EXPECT_TRUE(f.status().startsWith(QStringLiteral("Build failed: Cannot create the book folder ")))
        << f.status().toStdString();
    EXPECT_TRUE(f.window.statusBar()->findChildren<QProgressBar*>().isEmpty());
    EXPECT_FALSE(Generating());
    EXPECT_EQ(f.boxesDuringBuild, 0); // the box comes once the build is over
}

TEST(Generate, ProgressFillsTheBarInStageOrder)
{
    using S = TBuildStage;
    EXPECT_EQ(TStatusBarProgress::Percent(S::Template, 7, 0), 0);
    EXPECT_EQ(TStatusBarProgress::Percent(S::Finishing, 1, 1), 100);
    int last = 0;
    for (S s : {S::Template, S::Manifest, S::FontImage, S::DataFiles, S::Packing, S::Finishing})
        for (uint64_t done : {0, 1, 5, 10, 12}) {
            const int p = TStatusBarProgress::Percent(s, done, 10);
            EXPECT_GE(p, last);
            EXPECT_LE(p, 100);
            last = p;
        }

    QStatusBar bar;
    {
        TStatusBarProgress progress(&bar);
        ASSERT_NE(progress.Bar(), nullptr);
        EXPECT_EQ(progress.Bar()->parent(), &bar);
        progress.Status("Building...");
        EXPECT_EQ(bar.currentMessage(), QStringLiteral("Building..."));
        progress.Progress(S::Packing, 5, 10);
        EXPECT_EQ(progress.Bar()->value(), 75);
        progress.Progress(S::DataFiles, 1, 10); // never goes back
        EXPECT_EQ(progress.Bar()->value(), 75);
    }
    EXPECT_TRUE(bar.findChildren<QProgressBar*>().isEmpty());
}

TEST(Generate, AProjectsTopicsGoIntoTheJarInListOrder)
{
    TFixture f;
    const fs::path project = f.dir / "Sample.volm";
    const fs::path sample = sourceDir() / "examples" / "Sample.volm";
    if (fs::exists(sample))
        fs::copy_file(sample, project);
    TProject p;
    p.Open(project.string());
    if (p.TopicCount() == 0) {
        p.CommitText(p.AddTopic("Chapter \xC0"), "Text \xE0\r\n");
        p.CommitText(p.AddTopic("Chapter 2"), "More");
    }
    const size_t count = p.TopicCount();
    std::string titles;
    for (size_t i = 0; i < count; ++i)
        titles += p.Item(i).GetName() + "\r\n";

    setBuildParamsDialog(&f.dialog);
    QTimer::singleShot(0, [&] { build(f.dialog); });
    EXPECT_EQ(GenerateMidlet(p, p.FontSettings(), f.window.statusBar(), &f.window), TGenerateOutcome::Built);
    setBuildParamsDialog(nullptr);
    EXPECT_TRUE(f.boxes.empty());

    const fs::path jar = f.dir / "Sample" / "Sample.jar";
    ASSERT_TRUE(fs::exists(jar));
    EXPECT_TRUE(fs::exists(f.dir / "Sample" / "Sample.jad"));
    RunResult t = run({"unzip", "-p", jar.string(), "topics.txt"});
    EXPECT_EQ(t.out, titles);
    RunResult last = run({"unzip", "-p", jar.string(), "texts/itm" + std::to_string(count)});
    // The words layout's text, with its soft hyphens.
    EXPECT_EQ(last.out, THyphenator().Hyphenate(ReaderText(p.GetText(count - 1))));
    // The project stays open and usable.
    EXPECT_EQ(p.TopicCount(), count);
    p.CloseProject();
}

// The dialog offers the project's layout (grid for a project without one);
// a different choice is stored in the project and goes into the jar, the
// same one is not stored, so such a project builds as before.
TEST(Generate, TheDialogsLayoutIsStoredWhenChanged)
{
    TFixture f;
    const fs::path project = f.dir / "Fox.volm";
    TProject p;
    p.Open(project.string(), TProject::omCreateNew);
    p.CommitText(p.AddTopic("One"), "The quick brown fox");
    p.CloseProject();

    p.Open(project.string());
    setBuildParamsDialog(&f.dialog);
    TReaderLayout offered = TReaderLayout::Grid;
    QTimer::singleShot(0, [&] {
        offered = f.dialog.Layout();
        f.dialog.LayoutBox->setCurrentIndex(f.dialog.LayoutBox->findData(static_cast<int>(TReaderLayout::Grid)));
        build(f.dialog);
    });
    EXPECT_EQ(GenerateMidlet(p, p.FontSettings(), f.window.statusBar(), &f.window), TGenerateOutcome::Built);
    EXPECT_EQ(offered, TReaderLayout::Words);
    EXPECT_EQ(p.Layout(), TReaderLayout::Grid);
    const fs::path jar = f.dir / "Fox" / "Fox.jar";
    EXPECT_EQ(run({"unzip", "-p", jar.string(), "layout.txt"}).out, "grid\r\nindent\r\nEmpty\r\n19 13646\r\n");

    // A project without a layout stream: grid offered and kept, nothing
    // stored, no layout.txt.
    TGenerateTarget t = f.target((f.dir / "Tales.volm").string());
    bool stored = false;
    t.StoreLayout = [&](TReaderLayout) { stored = true; };
    EXPECT_EQ(generate(f, t, [&](TForm3& d) {
                  offered = d.Layout();
                  build(d);
              }),
              TGenerateOutcome::Built);
    EXPECT_EQ(offered, TReaderLayout::Grid);
    EXPECT_FALSE(stored);
    EXPECT_EQ(run({"unzip", "-l", (f.dir / "Tales" / "Tales.jar").string(), "layout.txt"}).status, 11);

    // Changed to words: stored and written.
    EXPECT_EQ(generate(f, t, [&](TForm3& d) {
                  d.SetLayout(TReaderLayout::Words);
                  build(d);
              }),
              TGenerateOutcome::Built);
    EXPECT_TRUE(stored);
    EXPECT_EQ(run({"unzip", "-p", (f.dir / "Tales" / "Tales.jar").string(), "layout.txt"}).out,
              "words\r\nindent\r\nEmpty\r\n13 40be290\r\n3 93603094\r\n");
    setBuildParamsDialog(nullptr);
    p.CloseProject();
}

// The paragraph style is offered as the project has it (indent without the
// stream), only with the words layout; a different choice is stored in the
// project and goes into layout.txt, the same one is not stored.
TEST(Generate, TheDialogsParagraphStyleIsStoredWhenChanged)
{
    TFixture f;
    const fs::path project = f.dir / "Fox.volm";
    TProject p;
    p.Open(project.string(), TProject::omCreateNew);
    p.CommitText(p.AddTopic("One"), "The quick brown fox");
    EXPECT_EQ(p.Paragraphs(), std::nullopt);

    setBuildParamsDialog(&f.dialog);
    TParagraphStyle offered = TParagraphStyle::Gap;
    bool enabled = false;
    QTimer::singleShot(0, [&] {
        offered = f.dialog.Paragraphs();
        enabled = f.dialog.ParagraphsBox->isEnabled();
        build(f.dialog);
    });
    EXPECT_EQ(GenerateMidlet(p, p.FontSettings(), f.window.statusBar(), &f.window), TGenerateOutcome::Built);
    EXPECT_EQ(offered, TParagraphStyle::Indent);
    EXPECT_TRUE(enabled);
    EXPECT_EQ(p.Paragraphs(), std::nullopt); // the same choice: nothing stored
    const fs::path jar = f.dir / "Fox" / "Fox.jar";

    QTimer::singleShot(0, [&] {
        f.dialog.ParagraphsBox->setCurrentIndex(
            f.dialog.ParagraphsBox->findData(static_cast<int>(TParagraphStyle::Gap)));
        build(f.dialog);
    });
    EXPECT_EQ(GenerateMidlet(p, p.FontSettings(), f.window.statusBar(), &f.window), TGenerateOutcome::Built);
    EXPECT_EQ(p.Paragraphs(), TParagraphStyle::Gap);
    EXPECT_EQ(run({"unzip", "-p", jar.string(), "layout.txt"}).out, "words\r\ngap\r\nEmpty\r\n19 13646\r\n");
    p.CloseProject();
    p.Open(project.string());
    EXPECT_EQ(p.Paragraphs(), TParagraphStyle::Gap); // kept in the file

    // With the grid chosen the choice is not offered.
    QTimer::singleShot(0, [&] {
        offered = f.dialog.Paragraphs();
        f.dialog.LayoutBox->setCurrentIndex(f.dialog.LayoutBox->findData(static_cast<int>(TReaderLayout::Grid)));
        enabled = f.dialog.ParagraphsBox->isEnabled();
        build(f.dialog);
    });
    EXPECT_EQ(GenerateMidlet(p, p.FontSettings(), f.window.statusBar(), &f.window), TGenerateOutcome::Built);
    EXPECT_EQ(offered, TParagraphStyle::Gap);
    EXPECT_FALSE(enabled);
    setBuildParamsDialog(nullptr);
    p.CloseProject();
}

// The dialog's "Phone" budget goes into the build: a book larger than it
// becomes volumes, and a box says what was made; without a budget, a jar
// over 64 KB gets a warning that names the choice.
TEST(Generate, ThePhonesBudgetMakesVolumesAndTheBoxSaysSo)
{
    TFixture f;
    f.topics = TTopicList{{"One", RussianText(75000, 1)}, {"Two", RussianText(75000, 2)}};
    const std::string project = (f.dir / "Tales.volm").string();
    writeFile(project, "");
    EXPECT_EQ(generate(f, f.target(project), [](TForm3& d) {
                  d.SetMaxJar(64 * 1024);
                  build(d);
              }),
              TGenerateOutcome::Built);
    EXPECT_EQ(f.status(), QStringLiteral("Done. Subfolder was created. The book: ") +
                              QString::fromStdString((f.dir / "Tales").string()) + QStringLiteral("/ (2 volumes) (MIDlet-Version 1.0.1)"));
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].icon, QMessageBox::Information);
    EXPECT_TRUE(f.boxes[0].text.startsWith(QStringLiteral("2 volumes, each at most 65536 bytes:\njar: ")))
        << f.boxes[0].text.toStdString();
    EXPECT_TRUE(fs::exists(f.dir / "Tales" / "Tales-2.jad"));
    EXPECT_FALSE(fs::exists(f.dir / "Tales" / "Tales.jar"));

    EXPECT_EQ(generate(f, f.target(project), [](TForm3& d) {
                  d.SetMaxJar(0);
                  build(d);
              }),
              TGenerateOutcome::Built);
    ASSERT_EQ(f.boxes.size(), 2u);
    EXPECT_EQ(f.boxes[1].icon, QMessageBox::Warning);
    EXPECT_TRUE(f.boxes[1].text.contains(QStringLiteral("many phones refuse a jar over 64 KB")))
        << f.boxes[1].text.toStdString();
    EXPECT_TRUE(f.boxes[1].text.contains(QStringLiteral("\"Phone\""))) << f.boxes[1].text.toStdString();
    EXPECT_FALSE(fs::exists(f.dir / "Tales" / "Tales-1.jar"));
}

// Only a budget that built is offered again: one the build refused is not.
TEST(Generate, OnlyABudgetThatBuiltIsRemembered)
{
    TFixture f;
    const std::string project = (f.dir / "Tales.volm").string();
    writeFile(project, "");
    EXPECT_EQ(generate(f, f.target(project), [](TForm3& d) {
                  d.SetMaxJar(2 * 1024); // less than the reader itself
                  build(d);
              }),
              TGenerateOutcome::Failed);
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_TRUE(f.status().startsWith(QStringLiteral("Build failed: "))) << f.status().toStdString();
    {
        TForm3 next(nullptr, f.dir / "registry.ini");
        next.show();
        EXPECT_EQ(next.MaxJar(), 0u);
    }
    EXPECT_EQ(generate(f, f.target(project), [](TForm3& d) {
                  d.SetMaxJar(300 * 1024);
                  build(d);
              }),
              TGenerateOutcome::Built);
    TForm3 next(nullptr, f.dir / "registry.ini");
    next.show();
    EXPECT_EQ(next.MaxJar(), 300u * 1024);
}

// A phone family chosen: its jar limit makes the volumes, and a jar whose
// heap estimate is over the family's heap is built with a warning box naming
// the figures; a book within every limit shows no box.
TEST(Generate, APhoneFamilysHeapIsCheckedAfterTheBuild)
{
    TFixture f;
    // The reader's own font image and a menu of a few hundred titles come
    // close to the smallest heaps.
    for (int i = 0; i < 300; ++i)
        f.topics.Add("Chapter " + std::to_string(i + 1), RussianText(20, i));
    const std::string project = (f.dir / "Tales.volm").string();
    writeFile(project, "");
    EXPECT_EQ(generate(f, f.target(project), [](TForm3& d) {
                  ASSERT_TRUE(d.SetPhone("se-t610"));
                  build(d);
              }),
              TGenerateOutcome::Built);
    EXPECT_TRUE(f.boxes.empty()) << f.boxes[0].text.toStdString();

    EXPECT_EQ(generate(f, f.target(project), [](TForm3& d) {
                  ASSERT_TRUE(d.SetPhone("nokia-3410"));
                  build(d);
              }),
              TGenerateOutcome::Built);
    ASSERT_EQ(f.boxes.size(), 1u);
    EXPECT_EQ(f.boxes[0].icon, QMessageBox::Warning);
    const std::string text = f.boxes[0].text.toStdString();
    EXPECT_NE(text.find("Nokia 3410/3510i, Tales-1.jar: jar "), std::string::npos) << text;
    EXPECT_NE(text.find(" of 51200 bytes"), std::string::npos) << text;
    EXPECT_NE(text.find("bytes of heap, over the 103220"), std::string::npos) << text;
}

// The dialog offers the project's font sizes and hyphens switch (the
// defaults for a project without them) and stores them when changed; sizes
// that are not 1 to 3 pixel heights keep the dialog open, naming them.
TEST(Generate, TheDialogsSizesAndHyphensAreStoredWhenChanged)
{
    TFixture f;
    const fs::path project = f.dir / "Fox.volm";
    TProject p;
    p.Open(project.string(), TProject::omCreateNew);
    // "электрификация"
    p.CommitText(p.AddTopic("One"), "\xfd\xeb\xe5\xea\xf2\xf0\xe8\xf4\xe8\xea\xe0\xf6\xe8\xff");
    p.CloseProject();
    p.Open(project.string());
    setBuildParamsDialog(&f.dialog);
    std::string offeredSizes;
    bool offeredHyphens = false;
    std::string problem;
    QTimer::singleShot(0, [&] {
        offeredSizes = f.dialog.SizesText();
        offeredHyphens = f.dialog.Hyphens();
        f.dialog.SizesEdit->setText(QStringLiteral("11,14,16,20"));
        problem = f.dialog.TextsProblem();
        f.dialog.SizesEdit->setText(QStringLiteral("16, 12"));
        f.dialog.HyphensBox->setChecked(false);
        build(f.dialog);
    });
    EXPECT_EQ(GenerateMidlet(p, p.FontSettings(), f.window.statusBar(), &f.window), TGenerateOutcome::Built);
    setBuildParamsDialog(nullptr);
    EXPECT_EQ(offeredSizes, "11,14");
    EXPECT_TRUE(offeredHyphens);
    EXPECT_NE(problem.find("The font sizes \"11,14,16,20\""), std::string::npos) << problem;
    EXPECT_EQ(p.SheetSizes(), "12,16");
    EXPECT_EQ(p.Hyphens(), false);
    const fs::path jar = f.dir / "Fox" / "Fox.jar";
    EXPECT_EQ(JarMember(jar, "images/Font2.map").substr(0, 1), "\x10");
    EXPECT_EQ(JarMember(jar, "texts/itm1").find('\xad'), std::string::npos);
    EXPECT_TRUE(f.boxes.empty()); // nothing to warn of

    // Offered as stored next time; hyphens on again.
    setBuildParamsDialog(&f.dialog);
    QTimer::singleShot(0, [&] {
        offeredSizes = f.dialog.SizesText();
        offeredHyphens = f.dialog.Hyphens();
        f.dialog.HyphensBox->setChecked(true);
        build(f.dialog);
    });
    EXPECT_EQ(GenerateMidlet(p, p.FontSettings(), f.window.statusBar(), &f.window), TGenerateOutcome::Built);
    setBuildParamsDialog(nullptr);
    EXPECT_EQ(offeredSizes, "12,16");
    EXPECT_FALSE(offeredHyphens);
    EXPECT_EQ(p.Hyphens(), true);
    EXPECT_NE(JarMember(jar, "texts/itm1").find('\xad'), std::string::npos);
}
