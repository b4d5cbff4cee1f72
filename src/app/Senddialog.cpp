#include "app/Senddialog.h"

#include "book/Bookserver.h"
#include "common/Errors.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace volm::ui {

QImage QrImage(const TQrCode& code, int scale)
{
    constexpr int quiet = 4;
    const int side = (code.size + 2 * quiet) * scale;
    QImage image(side, side, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < code.size; ++y)
        for (int x = 0; x < code.size; ++x)
            if (code.Dark(x, y))
                painter.fillRect((x + quiet) * scale, (y + quiet) * scale, scale, scale, Qt::black);
    return image;
}

TSendDialog::TSendDialog(QWidget* parent, const std::string& folder, int port)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TSendDialog"));
    setWindowTitle(QStringLiteral("Send to phone"));
    try {
        server_ = std::make_unique<TBookServer>(folder, port);
    } catch (const Error&) {
        if (port == 0)
            throw;
        server_ = std::make_unique<TBookServer>(folder, 0); // the usual port is taken
    }
    std::vector<std::string> hosts = LanAddresses();
    const bool lan = !hosts.empty();
    if (!lan)
        hosts.push_back("127.0.0.1");
    const std::vector<std::string> jads = server_->JadFiles();
    const std::string url = server_->Url(hosts.front(), jads.size() == 1 ? jads.front() : std::string());
    url_ = QString::fromStdString(url);

    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        lan ? QStringLiteral("Open this address on the phone (its browser, or scan the code); the phone must be "
                             "on this computer's network. The book is served until this window is closed.")
            : QStringLiteral("This computer has no local network address: only programs on it (an emulator) "
                             "reach this address."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    QrLabel = new QLabel(this);
    QrLabel->setObjectName(QStringLiteral("QrLabel"));
    QrLabel->setAlignment(Qt::AlignCenter);
    QrLabel->setPixmap(QPixmap::fromImage(QrImage(MakeQrCode(url), 4)));
    layout->addWidget(QrLabel);
    UrlLabel = new QLabel(url_, this);
    UrlLabel->setObjectName(QStringLiteral("UrlLabel"));
    UrlLabel->setAlignment(Qt::AlignCenter);
    UrlLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(UrlLabel);
    if (jads.empty())
        layout->addWidget(new QLabel(QStringLiteral("The book folder holds no jad yet: build the book first."), this));
    LogView = new QPlainTextEdit(this);
    LogView->setObjectName(QStringLiteral("LogView"));
    LogView->setReadOnly(true);
    LogView->setMaximumBlockCount(1000);
    layout->addWidget(LogView);
    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(CloseButton, 0, Qt::AlignRight);

    // The server's threads hand their lines to the dialog's.
    QPointer<QPlainTextEdit> view = LogView;
    server_->SetLog([view](const std::string& line) {
        const QString text = QString::fromStdString(line);
        QMetaObject::invokeMethod(
            view, [view, text] {
                if (view)
                    view->appendPlainText(text);
            },
            Qt::QueuedConnection);
    });
    server_->Start();
}

TSendDialog::~TSendDialog()
{
    server_->Stop();
    server_.reset(); // joins the serving thread before the widgets go
}

QString TSendDialog::Url() const
{
    return url_;
}

int TSendDialog::Port() const
{
    return server_->Port();
}

} // namespace volm::ui
