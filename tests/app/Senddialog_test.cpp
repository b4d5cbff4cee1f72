// "Send to phone": the dialog serves the book folder while it is open, shows
// the address and its QR code, logs each request, and stops serving on Close.
#include "app/Senddialog.h"
#include "book/Bookserver.h"

#include "Testutil.h"
#include "app/Guitest.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace volm;
using namespace volm::test;
using namespace volm::ui;

TEST(Senddialog, ServesTheBookWhileOpenAndStopsOnClose)
{
    if (!haveProgram("curl"))
        GTEST_SKIP() << "no curl";
    TempDir dir;
    fs::create_directory(dir / "Tales");
    writeFile(dir / "Tales" / "Tales.jad", "MIDlet-Name: Tales\r\nMIDlet-Jar-URL: Tales.jar\r\nMIDlet-Jar-Size: 3\r\n");
    writeFile(dir / "Tales" / "Tales.jar", "PK\x03");

    auto dialog = std::make_unique<TSendDialog>(nullptr, (dir / "Tales").string() + "/", 0);
    const int port = dialog->Port();
    ASSERT_GT(port, 0);
    const QString url = dialog->Url();
    EXPECT_TRUE(url.startsWith(QStringLiteral("http://"))) << url.toStdString();
    EXPECT_TRUE(url.endsWith(QStringLiteral(":%1/Tales.jad").arg(port))) << url.toStdString();
    EXPECT_EQ(dialog->UrlLabel->text(), url);
    // The code of the address, with its quiet zone: white corner, dark finder.
    const QImage qr = dialog->QrLabel->pixmap().toImage();
    const TQrCode code = MakeQrCode(url.toStdString());
    EXPECT_EQ(qr.width(), (code.size + 8) * 4);
    EXPECT_EQ(qr.height(), qr.width());
    EXPECT_EQ(qr.pixelColor(1, 1), QColor(Qt::white));
    EXPECT_EQ(qr.pixelColor(17, 17), QColor(Qt::black));
    EXPECT_EQ(qr, QrImage(code, 4));

    const std::string local = "http://127.0.0.1:" + std::to_string(port);
    RunResult r = run({"curl", "-s", "-w", "\n%{content_type}", local + "/Tales.jad"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("MIDlet-Jar-URL: " + local + "/Tales.jar\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\ntext/vnd.sun.j2me.app-descriptor"), std::string::npos) << r.out;
    EXPECT_EQ(run({"curl", "-s", "-o", "/dev/null", "-w", "%{http_code}", local + "/x.txt"}).out, "404");

    // The lines come to the dialog through its event loop; Close ends it.
    QTimer::singleShot(0, [&] {
        QApplication::processEvents();
        dialog->CloseButton->click();
    });
    EXPECT_EQ(dialog->exec(), QDialog::Accepted);
    QApplication::processEvents();
    const QString log = dialog->LogView->toPlainText();
    EXPECT_TRUE(log.contains(QStringLiteral("127.0.0.1 GET /Tales.jad 200"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("GET /x.txt 404"))) << log.toStdString();
    dialog.reset();
    EXPECT_EQ(run({"curl", "-s", "--max-time", "5", local + "/Tales.jad"}).status, 7); // refused: not serving

    // No book folder: refused with its name.
    try {
        TSendDialog none(nullptr, (dir / "None").string(), 0);
        ADD_FAILURE() << "served a folder that is not there";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot serve " + (dir / "None").string()), std::string::npos)
            << e.what();
    }
}
