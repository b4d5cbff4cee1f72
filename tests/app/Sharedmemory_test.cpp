#include "app/Errorbox.h"
#include "app/Sharedmemory.h"
#include "app/Versionrecord.h"

#include "Testutil.h"
#include "app/Guitest.h"

#include <QPushButton>
#include <QApplication>
#include <QClipboard>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <cstring>

using namespace volm;
using namespace volm::ui;
using volm::test::TempDir;

TEST(VersionString, BuiltProgramAndFilesWithoutARecord)
{
    // The program's record carries the project version 1.0.0.1.
    EXPECT_EQ(GetVersionString(VOLM_PROGRAM), "1.0.0. Build 1");
    // This test program holds the tag (in the code that looks for it) but no record.
    EXPECT_EQ(GetVersionString("/proc/self/exe"), "");
    EXPECT_EQ(GetVersionString("/no/such/file"), "");

    TempDir dir;
    TVersionRecord rec{};
    std::memcpy(rec.tag, kVersionTag, sizeof rec.tag);
    rec.info.dwSignature = kVersionSignature;
    rec.info.dwFileVersionMS = (1u << 16) | 2u;
    rec.info.dwFileVersionLS = (0u << 16) | 15u;
    std::string bytes(reinterpret_cast<const char*>(&rec), sizeof rec);
    volm::test::writeFile(dir / "good", "junk" + bytes + "more");
    EXPECT_EQ(GetVersionString((dir / "good").string()), "1.2.0. Build 15");
    rec.info.dwFileVersionMS = 0xFFFFFFFFu; // numbers are unsigned, not padded
    rec.info.dwFileVersionLS = 0x00070000u;
    bytes.assign(reinterpret_cast<const char*>(&rec), sizeof rec);
    volm::test::writeFile(dir / "big", bytes);
    EXPECT_EQ(GetVersionString((dir / "big").string()), "65535.65535.7. Build 0");

    rec.info.dwSignature = 0x12345678; // wrong signature
    bytes.assign(reinterpret_cast<const char*>(&rec), sizeof rec);
    volm::test::writeFile(dir / "bad", bytes);
    EXPECT_EQ(GetVersionString((dir / "bad").string()), "");
    volm::test::writeFile(dir / "cut", bytes.substr(0, 30)); // the record cut short
    EXPECT_EQ(GetVersionString((dir / "cut").string()), "");
}

TEST(AboutBox, ItemsLinksAndClipboard)
{
    std::vector<QUrl> opened;
    TAboutBox::urlOpener() = [&](const QUrl& u) { opened.push_back(u); };
    std::vector<TShownMessage> shown;
    setMessageSink([&](const TShownMessage& m) { shown.push_back(m); });

    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(box.size(), QSize(291, 197)); // the panel, and the Close button below it
    EXPECT_EQ(box.CloseButton->text(), QStringLiteral("Close"));
    EXPECT_TRUE(box.CloseButton->isDefault());
    EXPECT_EQ(box.ProductName->text(), QStringLiteral("Volm creator"));
    EXPECT_TRUE(box.ProductName->font().bold());
    EXPECT_EQ(box.Version->text(), QStringLiteral("Version:"));
    EXPECT_EQ(box.Comments->text(), QStringLiteral("A new look on how mobile can be used ;)"));
    EXPECT_EQ(box.Label1->text(), QStringLiteral("Forum"));
    EXPECT_TRUE(box.Label1->font().underline());
    EXPECT_TRUE(box.Label2->text().contains(QString::fromLatin1(kDonationId)));
    EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());
    EXPECT_EQ(box.ProgramIcon->pixmap().size(), QSize(152, 60));

    box.show();
    // Shown: the version of the running program's file (this test has none).
    EXPECT_EQ(box.Version->text(), QString());
    const QRect screen = box.screen()->geometry();
    EXPECT_LE(std::abs(box.geometry().center().x() - screen.center().x()), 2);

    QTest::mouseClick(box.ProgramIcon, Qt::LeftButton);
    QTest::mouseClick(box.Copyright, Qt::LeftButton);
    QTest::mouseClick(box.Label1, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened[0], QUrl(QString::fromLatin1(kMakerSite)));
    EXPECT_EQ(opened[1].scheme(), QStringLiteral("mailto"));
    EXPECT_TRUE(opened[1].query().contains(QStringLiteral("subject=")));
    EXPECT_EQ(opened[2], QUrl(QString::fromLatin1(kMakerForum)));
    for (const QUrl& u : opened) // placeholders, nobody's real address
        EXPECT_TRUE(u.toString().contains(QStringLiteral("example.org"))) << u.toString().toStdString();

    QTest::mouseClick(box.Label2, Qt::LeftButton);
    EXPECT_TRUE(box.isVisible());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromLatin1(kDonationId));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, QMessageBox::Information);
    EXPECT_EQ(shown[0].title, QStringLiteral("Volm"));
    EXPECT_TRUE(shown[0].text.contains(QStringLiteral("clipboard")));
    box.CloseButton->click();
    EXPECT_FALSE(box.isVisible());
    setMessageSink({});
}
