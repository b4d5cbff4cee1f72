#include "app/Errorbox.h"
#include "app/Jbuild.h"
#include "book/Phones.h"

#include "Testutil.h"
#include "app/Guitest.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFontInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;
namespace fs = std::filesystem;

namespace {

// Runs the dialog modally; `act` works on it once it is up.
int runDialog(TForm3& d, std::function<void(TForm3&)> act)
{
    QTimer::singleShot(0, [&] { act(d); });
    return d.exec();
}

std::optional<std::string> stored(const std::filesystem::path& reg, const char* name)
{
    TRegistry r(RegRoot::CurrentUser, reg);
    if (!r.OpenKeyReadOnly("Volm_Orvane\\Build"))
        return std::nullopt;
    return r.ReadValue(name);
}

} // namespace

TEST(Jbuild, FirstShowingBuildAndCancelStoreTrimmedTexts)
{
    TempDir dir;
    const auto reg = dir / "registry.ini";
    TForm3 d(nullptr, reg);
    EXPECT_EQ(d.windowTitle(), QStringLiteral("JAR Build parameters"));
    EXPECT_EQ(d.Label1->text(), QStringLiteral("Please, enter atributes for creating package:"));
    EXPECT_EQ(d.BitBtn1->text(), QStringLiteral("&Build"));
    EXPECT_TRUE(d.BitBtn1->isDefault());
    EXPECT_FALSE(std::filesystem::exists(reg)); // nothing read or written before the first showing

    QPoint firstPos;
    int r = runDialog(d, [&](TForm3& f) {
        EXPECT_EQ(f.Edit1->text(), QStringLiteral("Volm creator - orvane"));
        EXPECT_EQ(f.Edit2->text(), QString::fromLatin1(kDefaultUrl));
        EXPECT_EQ(f.Edit3->text(), QStringLiteral("Sample ebook for mobiles"));
        const QRect screen = f.screen()->geometry();
        EXPECT_LE(std::abs(f.frameGeometry().center().x() - screen.center().x()), 2);
        EXPECT_LE(std::abs(f.frameGeometry().center().y() - screen.center().y()), 2);
        firstPos = f.pos();
        f.Edit1->setText(QStringLiteral("ACME Книги "));
        f.Edit2->clear();
        QTest::keyClick(f.Edit3, Qt::Key_Return); // the default button
    });
    EXPECT_EQ(r, QDialog::Accepted);
    // The pipeline gets the texts as typed; the registry the trimmed ones.
    EXPECT_EQ(d.VendorText(), "ACME \xca\xed\xe8\xe3\xe8 ");
    EXPECT_EQ(d.UrlText(), "");
    EXPECT_EQ(stored(reg, "Edit1_Text"), "ACME \xca\xed\xe8\xe3\xe8");
    EXPECT_EQ(stored(reg, "Edit2_Text"), "");
    EXPECT_EQ(stored(reg, "Visible"), "0");
    EXPECT_EQ(stored(reg, "FormVersion"), "0");
    EXPECT_TRUE(stored(reg, "NormPos").has_value());

    // Cancel (Esc) stores what was typed too; the next showing offers it trimmed.
    r = runDialog(d, [&](TForm3& f) {
        EXPECT_EQ(f.Edit1->text(), QStringLiteral("ACME Книги"));
        EXPECT_EQ(f.Edit2->text(), QString());
        f.Edit1->setText(QStringLiteral("  Other vendor\t"));
        QTest::keyClick(&f, Qt::Key_Escape);
    });
    EXPECT_EQ(r, QDialog::Rejected);
    EXPECT_EQ(stored(reg, "Edit1_Text"), "Other vendor");

    // The stored texts survive a new dialog (a restart of the program).
    TForm3 again(nullptr, reg);
    runDialog(again, [&](TForm3& f) {
        EXPECT_EQ(f.Edit1->text(), QStringLiteral("Other vendor"));
        f.BitBtn2->click();
    });
    EXPECT_EQ(again.VendorText(), "Other vendor");
}

// The labels read at the platform's font and are whole, the description
// field shows its text, and the book folder is shown and chosen.
TEST(Jbuild, LabelsAndFieldsAreWholeAtThePlatformFontAndTheBookFolderIsShown)
{
    TempDir dir;
    fs::create_directories(dir / "elsewhere");
    TForm3 d(nullptr, dir / "registry.ini");
    const std::string project = (dir / "Tales.volm").string();
    d.SetBookFolder(project, "");
    EXPECT_EQ(d.FolderEdit->text().toStdString(), (dir / "Tales").string() + "/");
    runDialog(d, [&](TForm3& f) {
        const QFont platform = QApplication::font();
        for (QLabel* l : {f.Label1, f.Label2, f.Label3, f.Label4, f.PhoneLabel, f.SizesLabel, f.FolderLabel}) {
            SCOPED_TRACE(l->text().toStdString());
            EXPECT_FALSE(l->font().italic());
            EXPECT_EQ(l->font().family(), platform.family());
            EXPECT_GE(QFontInfo(l->font()).pixelSize(), QFontInfo(platform).pixelSize());
            EXPECT_GE(l->width(), l->fontMetrics().horizontalAdvance(l->text()));
            EXPECT_TRUE(f.rect().contains(l->geometry()));
        }
        EXPECT_EQ(f.Label1->text(), QStringLiteral("Please, enter atributes for creating package:"));
        EXPECT_EQ(f.Label4->text(), QStringLiteral("Descript:"));
        // The whole default description, and as much again, is in view.
        const QString twice = f.Edit3->text() + u' ' + f.Edit3->text();
        EXPECT_GE(f.Edit3->width(), f.Edit3->fontMetrics().horizontalAdvance(twice));
        for (QWidget* w : std::initializer_list<QWidget*>{f.Edit1, f.Edit2, f.Edit3, f.FolderEdit, f.FolderButton,
                                                          f.BitBtn1, f.BitBtn2, f.LayoutBox, f.PhoneBox})
            EXPECT_TRUE(f.rect().contains(w->geometry())) << w->objectName().toStdString();
        EXPECT_TRUE(f.FolderEdit->isReadOnly());

        // "Change..." picks the folder the book folder is made in.
        QTimer::singleShot(0, [&] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(chooser, nullptr);
            EXPECT_EQ(chooser->objectName(), QStringLiteral("FolderDialog"));
            auto* name = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            ASSERT_NE(name, nullptr);
            name->setText(QString::fromStdString((dir / "elsewhere").string()));
            QTest::keyClick(name, Qt::Key_Return);
        });
        f.FolderButton->click();
        f.BitBtn2->click();
    });
    EXPECT_EQ(d.OutFolder(), (dir / "elsewhere").string());
    EXPECT_EQ(d.FolderEdit->text().toStdString(), (dir / "elsewhere" / "Tales").string() + "/");
}

TEST(Jbuild, PositionRestoredOnlyAtTheSameResolution)
{
    TempDir dir;
    const auto reg = dir / "registry.ini";
    {
        TForm3 d(nullptr, reg);
        runDialog(d, [](TForm3& f) {
            f.move(40, 50);
            f.accept();
        });
    }
    ASSERT_TRUE(stored(reg, "NormPos").has_value());
    EXPECT_EQ(stored(reg, "NormPos")->substr(0, 6), "40,50,");
    {
        TForm3 d(nullptr, reg);
        runDialog(d, [](TForm3& f) {
            EXPECT_EQ(f.frameGeometry().topLeft(), QPoint(40, 50));
            f.reject();
        });
    }
    // Stored at another resolution: centred again.
    {
        TRegistry r(RegRoot::CurrentUser, reg);
        ASSERT_TRUE(r.OpenKey("Volm_Orvane\\Build", false));
        r.WriteString("PixelsPerInch", "1");
    }
    TForm3 d(nullptr, reg);
    runDialog(d, [](TForm3& f) {
        EXPECT_NE(f.frameGeometry().topLeft(), QPoint(40, 50));
        const QRect screen = f.screen()->geometry();
        EXPECT_LE(std::abs(f.frameGeometry().center().x() - screen.center().x()), 2);
        f.reject();
    });
}

TEST(Jbuild, RegistryFailuresAreShownAndTheDialogStillWorks)
{
    std::vector<TShownMessage> shown;
    setMessageSink([&](const TShownMessage& m) { shown.push_back(m); });
    TForm3 d(nullptr, "/proc/volm-cannot-write/registry.ini");
    const int r = runDialog(d, [](TForm3& f) {
        EXPECT_EQ(f.Edit1->text(), QStringLiteral("Volm creator - orvane"));
        f.accept();
    });
    setMessageSink({});
    EXPECT_EQ(r, QDialog::Accepted);
    ASSERT_EQ(shown.size(), 2u); // restoring the placement, then saving
    EXPECT_EQ(shown[0].text, QStringLiteral("Failed to create key Volm_Orvane."));
    EXPECT_EQ(shown[1].text, QStringLiteral("Failed to create key Volm_Orvane."));
    EXPECT_EQ(d.VendorText(), "Volm creator - orvane");
}

// "Phone" offers the phone families by name, No limit and Other..., which
// asks for a size; once a build made with it succeeded (RememberBudget) the
// choice is stored with the texts (volm-cli build reads it) and offered again.
TEST(Jbuild, ThePhonesJarBudgetIsChosenAndStored)
{
    TempDir dir;
    const auto reg = dir / "registry.ini";
    TForm3 d(nullptr, reg);
    QStringList items, expected{"No limit"};
    for (int i = 0; i < d.PhoneBox->count(); ++i)
        items << d.PhoneBox->itemText(i);
    for (const TPhoneProfile& p : PhoneProfiles())
        expected << QString::fromStdString(p.name);
    expected << "Other...";
    EXPECT_EQ(items, expected);
    EXPECT_TRUE(items.contains(QStringLiteral("Sony Ericsson T610/T630")));
    EXPECT_EQ(d.PhoneLabel->text(), QStringLiteral("Phone:"));

    // A family: its jar limit is the budget, its id stored beside it.
    runDialog(d, [](TForm3& f) {
        EXPECT_EQ(f.MaxJar(), 0u);
        EXPECT_EQ(f.Phone(), "");
        f.PhoneBox->setCurrentIndex(f.PhoneBox->findText(QStringLiteral("Sony Ericsson T610/T630")));
        f.BitBtn1->click();
    });
    EXPECT_EQ(d.MaxJar(), 64000u);
    EXPECT_EQ(d.Phone(), "se-t610");
    EXPECT_EQ(stored(reg, "JarBudget").value_or("0"), "0"); // not before it built
    d.RememberBudget();
    EXPECT_EQ(stored(reg, "JarBudget"), "64000");
    EXPECT_EQ(stored(reg, "Phone"), "se-t610");
    EXPECT_EQ(storedBuildTexts(reg).phone, "se-t610");
    {
        TForm3 again(nullptr, reg);
        runDialog(again, [](TForm3& f) {
            EXPECT_EQ(f.PhoneBox->currentText(), QStringLiteral("Sony Ericsson T610/T630"));
            EXPECT_FALSE(f.SetPhone("no-such-phone"));
            EXPECT_EQ(f.Phone(), "se-t610");
            f.reject();
        });
    }

    // A size of one's own (as an older program stored it) is offered as it is.
    runDialog(d, [](TForm3& f) {
        f.SetMaxJar(100u * 1024);
        f.BitBtn1->click();
    });
    d.RememberBudget();
    EXPECT_EQ(d.MaxJar(), 100u * 1024);
    EXPECT_EQ(d.Phone(), "");
    EXPECT_EQ(stored(reg, "JarBudget"), "102400");
    EXPECT_EQ(stored(reg, "Phone"), "");
    EXPECT_EQ(storedBuildTexts(reg).maxJar, 102400u);

    // Other...: a size of one's own, listed from then on; a wrong one is
    // refused with a message and the choice stays.
    std::vector<TShownMessage> shown;
    setMessageSink([&](const TShownMessage& m) { shown.push_back(m); });
    auto other = [&](const QString& typed) {
        QTimer::singleShot(0, [typed] {
            auto* ask = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(ask, nullptr);
            ask->setTextValue(typed);
            ask->accept();
        });
        d.PhoneBox->setCurrentIndex(d.PhoneBox->count() - 1);
        emit d.PhoneBox->activated(d.PhoneBox->count() - 1);
    };
    runDialog(d, [&](TForm3& f) {
        EXPECT_EQ(f.MaxJar(), 100u * 1024); // offered again
        other(QStringLiteral("lots"));
        EXPECT_EQ(f.MaxJar(), 100u * 1024);
        other(QStringLiteral("200K"));
        EXPECT_EQ(f.MaxJar(), 200u * 1024);
        EXPECT_EQ(f.PhoneBox->currentText(), QStringLiteral("200 KB"));
        f.BitBtn1->click();
    });
    d.RememberBudget();
    setMessageSink({});
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("\"lots\" is not a size"))) << shown[0].text.toStdString();
    EXPECT_EQ(stored(reg, "JarBudget"), "204800");
    TForm3 again(nullptr, reg);
    runDialog(again, [](TForm3& f) {
        EXPECT_EQ(f.MaxJar(), 200u * 1024);
        EXPECT_EQ(f.PhoneBox->currentText(), QStringLiteral("200 KB"));
        f.reject();
    });
}

// "&Build" with a text that can't go into the jad (a line end pasted in, a
// URL that is not http or https) names the field and keeps the dialog open;
// the texts mended, it closes.
TEST(Jbuild, BuildRefusesTextsThatCantBeAttributes)
{
    TempDir dir;
    TForm3 d(nullptr, dir / "registry.ini");
    Messages messages;
    int r = runDialog(d, [&](TForm3& f) {
        f.Edit1->setText(QStringLiteral("ACME\nMIDlet-Jar-URL: http://evil.example/x.jar"));
        f.BitBtn1->click();
        f.Edit1->setText(QStringLiteral("ACME"));
        f.Edit2->setText(QStringLiteral("ftp://volm.example.org/"));
        f.BitBtn1->click();
        f.Edit2->setText(QStringLiteral("https://volm.example.org/"));
        f.Edit3->setText(QStringLiteral("one\ttwo"));
        f.BitBtn1->click();
        EXPECT_TRUE(f.isVisible());
        f.Edit3->setText(QStringLiteral("Сказки"));
        f.BitBtn1->click();
    });
    EXPECT_EQ(r, QDialog::Accepted);
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_TRUE(messages.shown[0].text.startsWith(QStringLiteral("The vendor holds a line end"))) << messages.shown[0].text.toStdString();
    EXPECT_TRUE(messages.shown[1].text.startsWith(QStringLiteral("The URL \"ftp://volm.example.org/\" is not an absolute http or https URL")))
        << messages.shown[1].text.toStdString();
    EXPECT_TRUE(messages.shown[2].text.startsWith(QStringLiteral("The description holds a control character (0x09)")))
        << messages.shown[2].text.toStdString();
    EXPECT_EQ(d.DescriptionText(), "\xd1\xea\xe0\xe7\xea\xe8");
}
