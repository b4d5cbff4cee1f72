#include "app/Fontdialog.h"
#include "app/Fontcommands.h"

#include "app/Ansitext.h"
#include "app/Errorbox.h"
#include "book/Fontimage.h"
#include "common/Errors.h"
#include "storage/Project.h"

#include "Testutil.h"
#include "app/Guitest.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;
using volm::test::readFile;

namespace {

// Runs Execute(); `act` works on the dialog once it is up.
bool execute(TFontDialog& d, std::function<void(TFontDialog&)> act)
{
    QTimer::singleShot(0, [&] { act(d); });
    return d.Execute();
}

// A fixed-pitch family of the system other than `not_`, or "" when there is none.
QString otherFamily(const TFontDialog& d, const QString& not_)
{
    for (const QString& f : d.FixedPitchFamilies())
        if (f.compare(not_, Qt::CaseInsensitive) != 0 && QFontDatabase::hasFamily(f))
            return f;
    return {};
}

// Runs `test` with a fixed-pitch family of the system other than the held
// "Courier New"; skips the test when the system has none.
void withOtherFamily(const TFontDialog& d, const std::function<void(const QString&)>& test)
{
    const QString family = otherFamily(d, QStringLiteral("Courier New"));
    if (family.isEmpty())
        GTEST_SKIP() << "no fixed-pitch font installed";
    test(family);
}

void selectFamily(TFontDialog& d, const QString& family)
{
    const auto items = d.FontList->findItems(family, Qt::MatchExactly);
    ASSERT_FALSE(items.isEmpty()) << family.toStdString();
    d.FontList->setCurrentItem(items.front());
}

void selectData(QComboBox* box, int value)
{
    const int i = box->findData(value);
    ASSERT_GE(i, 0) << value;
    box->setCurrentIndex(i);
}

} // namespace

TEST(Fontdialog, OffersFixedPitchAndProportionalFontsAndShowsTheHeldChoice)
{
    TFontDialog d;
    const TFontChoice initial;
    EXPECT_EQ(d.Font(), initial);
    for (const QString& f : d.FixedPitchFamilies()) {
        if (f != QStringLiteral("Courier New")) { // the held name, kept even when the system lacks it
            EXPECT_TRUE(QFontDatabase::isFixedPitch(f)) << f.toStdString();
        }
    }
    // Proportional families are offered too (the words layout draws them at
    // their own widths); the list holds every family the project can name.
    bool proportional = false;
    for (const QString& f : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(f) || !textToAnsiExact(f))
            continue;
        EXPECT_FALSE(d.FontList->findItems(f, Qt::MatchExactly).isEmpty()) << f.toStdString();
        proportional = proportional || !QFontDatabase::isFixedPitch(f);
    }
    EXPECT_TRUE(proportional || !QFontDatabase::hasFamily(QStringLiteral("DejaVu Sans")));
    EXPECT_EQ(d.Families().size(), d.FontList->count());

    execute(d, [](TFontDialog& f) {
        ASSERT_NE(f.FontList->currentItem(), nullptr);
        EXPECT_EQ(f.FontList->currentItem()->text(), QStringLiteral("Courier New"));
        EXPECT_EQ(f.SizeEdit->text(), QStringLiteral("8"));
        EXPECT_EQ(f.HeightLabel->text(), QStringLiteral("11 px"));
        EXPECT_EQ(f.StyleList->currentItem()->text(), QStringLiteral("Regular"));
        EXPECT_FALSE(f.Underline->isChecked());
        EXPECT_FALSE(f.StrikeOut->isChecked());
        EXPECT_EQ(f.ColorBox->currentText(), QStringLiteral("Window text"));
        EXPECT_EQ(f.ScriptBox->currentText(), QStringLiteral("Default"));
        EXPECT_TRUE(f.OkButton->isEnabled());
        f.OkButton->click();
    });
    // OK without a change gives back exactly what was held (height, system colour, set).
    EXPECT_EQ(d.Font(), initial);
}

TEST(Fontdialog, OkTakesEveryControlAndCancelKeepsTheHeldChoice)
{
    TFontDialog d;
    withOtherFamily(d, [&](const QString& family) {
        TFontChoice expected;
        expected.name = family.toStdString(); // the installed families have ASCII names
        expected.height = -27;                // 20 points
        expected.style = fsBold | fsItalic | fsUnderline | fsStrikeOut;
        expected.color = 0x0000FF;            // red
        expected.charset = RUSSIAN_CHARSET;
        expected.pitch = fpFixed;

        ASSERT_TRUE(execute(d, [&](TFontDialog& f) {
            selectFamily(f, family);
            EXPECT_EQ(f.FontEdit->text(), family);
            f.StyleList->setCurrentRow(3); // Bold Italic
            f.SizeList->setCurrentItem(f.SizeList->findItems(QStringLiteral("20"), Qt::MatchExactly).front());
            EXPECT_EQ(f.SizeEdit->text(), QStringLiteral("20"));
            EXPECT_EQ(f.HeightLabel->text(), QStringLiteral("27 px"));
            f.Underline->setChecked(true);
            f.StrikeOut->setChecked(true);
            selectData(f.ColorBox, 0x0000FF);
            EXPECT_EQ(f.ColorBox->currentText(), QStringLiteral("Red"));
            f.ScriptBox->setCurrentIndex(f.ScriptBox->findText(QStringLiteral("Cyrillic")));
            EXPECT_TRUE(f.Sample->text().contains(QChar(0x0410))) << f.Sample->text().toStdString();
            EXPECT_EQ(f.Sample->font().family(), family);
            f.OkButton->click();
        }));
        EXPECT_EQ(d.Font(), expected);

        // Everything changed and then cancelled: the held choice stays, and the
        // next showing offers it again.
        EXPECT_FALSE(execute(d, [&](TFontDialog& f) {
            f.StyleList->setCurrentRow(0);
            QTest::keyClicks(f.SizeEdit, QStringLiteral("1")); // "201"
            f.Underline->setChecked(false);
            selectData(f.ColorBox, 0xFF0000);
            f.ScriptBox->setCurrentIndex(f.ScriptBox->findText(QStringLiteral("Greek")));
            f.CancelButton->click();
        }));
        EXPECT_EQ(d.Font(), expected);
        execute(d, [&](TFontDialog& f) {
            EXPECT_EQ(f.Choice(), expected);
            QTest::keyClick(&f, Qt::Key_Escape);
        });
        EXPECT_EQ(d.Font(), expected);
    });
}

TEST(Fontdialog, SizesAreHeightsInPixelsAndAnUntouchedSizeKeepsItsHeight)
{
    EXPECT_EQ(HeightFromPoints(8), -11);
    EXPECT_EQ(HeightFromPoints(10), -13);
    EXPECT_EQ(HeightFromPoints(72), -96);
    EXPECT_EQ(PointsFromHeight(-11), 8);
    EXPECT_EQ(PointsFromHeight(20), 15);

    TFontDialog d;
    TFontChoice held;
    held.height = 20; // a cell height, as a stored project may hold it
    d.SetFont(held);
    EXPECT_EQ(d.SizeEdit->text(), QStringLiteral("15"));
    EXPECT_EQ(d.Choice().height, 20);
    EXPECT_EQ(d.HeightLabel->text(), QStringLiteral("20 px"));

    // Typed sizes: a listed one selects it; any other whole number is taken.
    d.SizeEdit->setFocus();
    d.SizeEdit->selectAll();
    QTest::keyClicks(d.SizeEdit, QStringLiteral("14"));
    EXPECT_EQ(d.SizeList->currentItem()->text(), QStringLiteral("14"));
    EXPECT_EQ(d.Choice().height, -19);
    d.SizeEdit->selectAll();
    QTest::keyClicks(d.SizeEdit, QStringLiteral("13"));
    EXPECT_EQ(d.SizeList->currentItem(), nullptr);
    EXPECT_EQ(d.Choice().height, -17);
    // An empty size can't be confirmed.
    d.SizeEdit->selectAll();
    QTest::keyClick(d.SizeEdit, Qt::Key_Delete);
    EXPECT_FALSE(d.OkButton->isEnabled());
}

TEST(Fontdialog, ScriptsMapToCharacterSetsAndUnknownValuesSurvive)
{
    const std::vector<std::pair<const char*, uint8_t>> names = {
        {"Western", ANSI_CHARSET},      {"Cyrillic", RUSSIAN_CHARSET}, {"Central European", EASTEUROPE_CHARSET},
        {"Greek", GREEK_CHARSET},       {"Turkish", TURKISH_CHARSET},  {"Hebrew", HEBREW_CHARSET},
        {"Arabic", ARABIC_CHARSET},     {"Baltic", BALTIC_CHARSET},    {"Vietnamese", VIETNAMESE_CHARSET},
        {"Thai", THAI_CHARSET},         {"OEM/DOS", OEM_CHARSET},      {"Symbol", SYMBOL_CHARSET},
    };
    TFontDialog d;
    for (const auto& [name, charset] : names) {
        EXPECT_EQ(ScriptName(charset), QString::fromLatin1(name));
        const int i = d.ScriptBox->findText(QString::fromLatin1(name));
        ASSERT_GE(i, 0) << name;
        d.ScriptBox->setCurrentIndex(i);
        EXPECT_EQ(d.Choice().charset, charset) << name;
    }
    EXPECT_TRUE(SampleText(EASTEUROPE_CHARSET).contains(QChar(0x0154))) << SampleText(EASTEUROPE_CHARSET).toStdString();
    EXPECT_EQ(SampleText(SYMBOL_CHARSET), QStringLiteral("AaBbYyZz"));

    // A character set and a colour the lists lack, read from a project, are
    // shown and kept by OK.
    TFontChoice odd;
    odd.charset = 99;
    odd.color = 0x123456;
    d.SetFont(odd);
    EXPECT_EQ(d.ScriptBox->currentText(), QStringLiteral("Character set 99"));
    EXPECT_EQ(d.ColorBox->currentText(), QStringLiteral("Custom"));
    EXPECT_EQ(d.Choice(), odd);
}

TEST(Fontdialog, TheSampleShowsTheFontAndColourOfTheFontImage)
{
    TFontDialog d;
    TFontChoice c{"Liberation Mono", -16, fsBold};
    d.SetFont(c);
    EXPECT_EQ(d.Sample->font(), FontImageFont(d.Choice(), 16));
    // The window-text colour is drawn black into the image, whatever the
    // desktop's own text colour; the sample says so.
    EXPECT_EQ(d.Sample->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(d.Sample->palette().color(QPalette::Window), QColor(Qt::white));
    selectData(d.ColorBox, 0x0000FF);
    EXPECT_EQ(d.Sample->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    // A size past the largest cell is shown at the largest cell.
    c.height = -400;
    d.SetFont(c);
    EXPECT_EQ(d.Sample->font(), FontImageFont(d.Choice(), kMaxFontCell));
    EXPECT_EQ(d.HeightLabel->text(), QStringLiteral("400 px"));
}

TEST(Fontdialog, AFaceWithoutCyrillicIsWarnedAboutAndOkAsksFirst)
{
    TFontDialog d;
    // Every script shows the book's Cyrillic in the sample.
    d.SetFont(TFontChoice{"DejaVu Sans Mono", -14});
    selectData(d.ScriptBox, ANSI_CHARSET);
    EXPECT_TRUE(d.Sample->text().contains(QChar(0x0410))) << d.Sample->text().toStdString();
    EXPECT_TRUE(d.CyrillicWarning->isHidden());

    // A face that lacks the letters (a stand-in, since the installed fonts
    // may all have them): the warning names the font, and OK asks.
    d.MissingCyrillic = [](const TFontChoice& c) { return c.name == "DejaVu Sans Mono" ? 66 : 0; };
    d.SetFont(TFontChoice{"DejaVu Sans Mono", -14});
    EXPECT_FALSE(d.CyrillicWarning->isHidden());
    EXPECT_TRUE(d.CyrillicWarning->text().contains(QStringLiteral("\"DejaVu Sans Mono\" has no Cyrillic letters")))
        << d.CyrillicWarning->text().toStdString();
    {
        Questions q;
        q.answers = {kNo};
        bool stillOpen = false;
        const bool ok = execute(d, [&](TFontDialog& dlg) {
            QTest::mouseClick(dlg.OkButton, Qt::LeftButton);
            stillOpen = dlg.isVisible();
            dlg.reject();
        });
        EXPECT_FALSE(ok);
        EXPECT_TRUE(stillOpen);
        ASSERT_EQ(q.asked.size(), 1u);
        EXPECT_TRUE(q.asked[0].text.contains(QStringLiteral("Use it anyway?")));
    }
    {
        Questions q;
        q.answers = {kYes};
        EXPECT_TRUE(execute(d, [](TFontDialog& dlg) { QTest::mouseClick(dlg.OkButton, Qt::LeftButton); }));
        EXPECT_EQ(q.asked.size(), 1u);
    }
    // Some letters missing: the count is said.
    d.MissingCyrillic = [](const TFontChoice&) { return 2; };
    d.SetFont(TFontChoice{"DejaVu Sans Mono", -14});
    EXPECT_TRUE(d.CyrillicWarning->text().contains(QStringLiteral("lacks 2 of the 66")));
    // The real check: an installed face with the letters passes.
    EXPECT_EQ(MissingCyrillicLetters(TFontChoice{"DejaVu Sans Mono", -14}), 0);
}

TEST(Fontdialog, TypingANameSelectsTheFirstMatchingFamily)
{
    TFontDialog d;
    withOtherFamily(d, [&](const QString& family) {
        d.FontEdit->setFocus();
        d.FontEdit->clear();
        QTest::keyClicks(d.FontEdit, family.left(3).toLower());
        ASSERT_NE(d.FontList->currentItem(), nullptr);
        EXPECT_TRUE(d.FontList->currentItem()->text().startsWith(family.left(3), Qt::CaseInsensitive));
        d.FontEdit->clear();
        QTest::keyClicks(d.FontEdit, family);
        EXPECT_EQ(d.FontList->currentItem()->text(), family);
        EXPECT_EQ(d.Choice().name, family.toStdString());
    });
}

// --- the project window's commands -------------------------------------------

namespace {

struct TWindow {
    TFontDialog dialog;
    QAction item{QStringLiteral("&Use custom font")};
    QPlainTextEdit editor;
    std::vector<TFontSettings> saved;
    bool failSave = false;
    std::vector<TShownMessage> boxes;

    TWindow()
    {
        item.setCheckable(true);
        setMessageSink([this](const TShownMessage& m) { boxes.push_back(m); });
    }
    ~TWindow() { setMessageSink({}); }

    TFontCommandTarget target()
    {
        TFontCommandTarget t;
        t.FontDialog1 = &dialog;
        t.Usecustomfont1 = &item;
        t.Editor = &editor;
        t.SaveFontSettings = [this](const TFontSettings& s) {
            if (failSave)
                throw Error("Can't write the font settings of /x/book.volm: disk full");
            saved.push_back(s);
        };
        return t;
    }
    // The check item triggered by the user: Qt inverts the mark first.
    void toggle()
    {
        item.toggle();
        SwitchCustomFont(target());
    }
};

// Runs the "&Font" command, choosing `family` at `points` in the dialog (OK),
// or cancelling when `family` is empty.
bool fontCommand(TWindow& w, const QString& family, int points = 12)
{
    QTimer::singleShot(0, [&] {
        if (family.isEmpty()) {
            w.dialog.CancelButton->click();
            return;
        }
        selectFamily(w.dialog, family);
        w.dialog.SizeList->setCurrentItem(
            w.dialog.SizeList->findItems(QString::number(points), Qt::MatchExactly).front());
        w.dialog.OkButton->click();
    });
    return ChooseFont(w.target());
}

} // namespace

TEST(Fontcommands, ChoosingAFontSwitchesOnSavesAndGivesTheEditorTheFont)
{
    TWindow w;
    withOtherFamily(w.dialog, [&](const QString& family) {
        const QFont before = w.editor.font();

        // Cancel: nothing changes, nothing is written.
        EXPECT_FALSE(fontCommand(w, {}));
        EXPECT_TRUE(w.saved.empty());
        EXPECT_FALSE(w.item.isChecked());
        EXPECT_EQ(w.editor.font(), before);
        EXPECT_EQ(w.dialog.Font(), TFontChoice());

        ASSERT_TRUE(fontCommand(w, family, 12));
        EXPECT_TRUE(w.item.isChecked());
        ASSERT_EQ(w.saved.size(), 1u);
        EXPECT_TRUE(w.saved[0].useCustomFont);
        EXPECT_EQ(w.saved[0].font.name, family.toStdString());
        EXPECT_EQ(w.saved[0].font.height, -16);
        EXPECT_EQ(w.editor.font().family(), family);
        EXPECT_EQ(w.editor.font().pixelSize(), 16);

        // Switched off by hand, then a font chosen again: the switch is on again.
        w.toggle();
        ASSERT_EQ(w.saved.size(), 2u);
        EXPECT_FALSE(w.saved[1].useCustomFont);
        ASSERT_TRUE(fontCommand(w, family, 10));
        ASSERT_EQ(w.saved.size(), 3u);
        EXPECT_TRUE(w.saved[2].useCustomFont);
        EXPECT_EQ(w.saved[2].font.height, -13);
        EXPECT_TRUE(w.boxes.empty());
    });
}

TEST(Fontcommands, TogglingKeepsTheChoiceAndGivesTheEditorTheDialogsFont)
{
    TWindow w;
    TFontChoice chosen;
    chosen.name = "Liberation Mono";
    chosen.height = -20;
    chosen.style = fsBold;
    chosen.color = 0x008000;
    chosen.charset = RUSSIAN_CHARSET;
    RestoreFontSettings(w.target(), TFontSettings{chosen, false});
    EXPECT_FALSE(w.item.isChecked());
    EXPECT_EQ(w.editor.font().pixelSize(), 20);
    EXPECT_TRUE(w.editor.font().bold());
    EXPECT_EQ(w.editor.palette().color(QPalette::Text), QColor(0, 0x80, 0));

    w.editor.setFont(QFont(QStringLiteral("Serif"), 30));
    w.toggle(); // on, without showing the dialog
    ASSERT_EQ(w.saved.size(), 1u);
    EXPECT_EQ(w.saved[0], (TFontSettings{chosen, true}));
    EXPECT_EQ(w.editor.font().pixelSize(), 20);

    w.editor.setFont(QFont(QStringLiteral("Serif"), 30));
    w.toggle(); // off: the editor still gets the dialog's font, the choice is kept
    ASSERT_EQ(w.saved.size(), 2u);
    EXPECT_EQ(w.saved[1], (TFontSettings{chosen, false}));
    EXPECT_EQ(w.editor.font().pixelSize(), 20);
    EXPECT_EQ(w.dialog.Font(), chosen);
}

TEST(Fontcommands, AFailedSaveShowsTheErrorBoxAndLeavesTheEditorsFont)
{
    TWindow w;
    withOtherFamily(w.dialog, [&](const QString& family) {
        w.failSave = true;
        w.editor.setFont(QFont(QStringLiteral("Serif"), 30));
        const QFont before = w.editor.font();

        w.toggle();
        EXPECT_TRUE(w.item.isChecked()); // the mark has changed all the same
        ASSERT_EQ(w.boxes.size(), 1u);
        EXPECT_EQ(w.boxes[0].title, QStringLiteral("Volm"));
        EXPECT_EQ(w.boxes[0].icon, QMessageBox::Critical);
        EXPECT_EQ(w.boxes[0].text, QStringLiteral("Can't write the font settings of /x/book.volm: disk full."));
        EXPECT_EQ(w.editor.font(), before);

        w.item.setChecked(false);
        ASSERT_TRUE(fontCommand(w, family));
        EXPECT_TRUE(w.item.isChecked());
        EXPECT_EQ(w.boxes.size(), 2u);
        EXPECT_EQ(w.editor.font(), before);
        EXPECT_EQ(w.dialog.Font().name, family.toStdString()); // the dialog keeps the choice
        EXPECT_TRUE(w.saved.empty());
    });
}

// --- with the project file -----------------------------------------------------

namespace {

struct TProjectWindow {
    TProject project;
    TFontDialog dialog;
    QAction item{QStringLiteral("&Use custom font")};
    QPlainTextEdit editor;

    explicit TProjectWindow(const std::string& path)
    {
        item.setCheckable(true);
        project.Open(path);
        RestoreFontSettings(target(), project.FontSettings());
    }
    TFontCommandTarget target()
    {
        TFontCommandTarget t;
        t.FontDialog1 = &dialog;
        t.Usecustomfont1 = &item;
        t.Editor = &editor;
        t.SaveFontSettings = [this](const TFontSettings& s) { project.SaveFontSettings(s); };
        return t;
    }
    bool choose(const QString& family, int points, const QString& script)
    {
        QTimer::singleShot(0, [&] {
            selectFamily(dialog, family);
            dialog.SizeList->setCurrentItem(
                dialog.SizeList->findItems(QString::number(points), Qt::MatchExactly).front());
            dialog.ScriptBox->setCurrentIndex(dialog.ScriptBox->findText(script));
            dialog.OkButton->click();
        });
        return ChooseFont(target());
    }
};

} // namespace

TEST(Fontcommands, TheChoiceAndTheSwitchAreStoredPerProjectAndRestoredOnOpening)
{
    TempDir dir;
    const std::string a = (dir / "a.volm").string(), b = (dir / "b.volm").string();
    QString family, other;
    {
        TProjectWindow wa(a), wb(b);
        family = otherFamily(wa.dialog, QStringLiteral("Courier New"));
        if (family.isEmpty())
            GTEST_SKIP() << "no fixed-pitch font installed";
        other = otherFamily(wa.dialog, family);

        // Cancelling writes nothing into the file.
        const std::string before = readFile(a);
        QTimer::singleShot(0, [&] { wa.dialog.CancelButton->click(); });
        EXPECT_FALSE(ChooseFont(wa.target()));
        EXPECT_EQ(readFile(a), before);

        ASSERT_TRUE(wa.choose(family, 14, QStringLiteral("Cyrillic")));
        if (!other.isEmpty()) {
            ASSERT_TRUE(wb.choose(other, 9, QStringLiteral("Western")));
        }
        wb.item.toggle(); // b switched off again, its choice kept
        SwitchCustomFont(wb.target());
    }
    TProjectWindow wa(a), wb(b);
    EXPECT_TRUE(wa.item.isChecked());
    EXPECT_EQ(wa.dialog.Font().name, family.toStdString());
    EXPECT_EQ(wa.dialog.Font().height, -19);
    EXPECT_EQ(wa.dialog.Font().charset, RUSSIAN_CHARSET);
    EXPECT_EQ(wa.editor.font().family(), family);
    EXPECT_EQ(wa.editor.font().pixelSize(), 19);

    EXPECT_FALSE(wb.item.isChecked());
    if (!other.isEmpty()) {
        EXPECT_EQ(wb.dialog.Font().name, other.toStdString());
        EXPECT_EQ(wb.dialog.Font().height, -12);
        EXPECT_EQ(wb.dialog.Font().charset, ANSI_CHARSET);
    }
    // The dialog shows the stored choice.
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(wa.dialog.FontList->currentItem()->text(), family);
        EXPECT_EQ(wa.dialog.SizeEdit->text(), QStringLiteral("14"));
        EXPECT_EQ(wa.dialog.ScriptBox->currentText(), QStringLiteral("Cyrillic"));
        wa.dialog.CancelButton->click();
    });
    EXPECT_FALSE(ChooseFont(wa.target()));
}
