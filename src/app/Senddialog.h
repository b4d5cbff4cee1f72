#pragma once
// "Send to phone...": serves the book folder's jad and jar files to phones on
// the local network (TBookServer) for as long as the dialog is open, and
// shows the address to open on the phone, as a QR code and as text, with a
// line for every request.
//
// | Name | Role |
// |---|---|
// | `TSendDialog` | the dialog, "Send to phone" |
// | `QrLabel` | the QR code of the address |
// | `UrlLabel` | the address (the jad's, or the index page's when the book has volumes) |
// | `LogView` | one line per request |
// | `CloseButton` | "Close": stops serving |

#include <QDialog>
#include <QImage>

#include <memory>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace volm {
class TBookServer;
struct TQrCode;
}

namespace volm::ui {

// The QR code drawn with `scale` pixels to a module and a quiet zone of four
// modules, black on white.
QImage QrImage(const TQrCode& code, int scale);

class TSendDialog : public QDialog {
    Q_OBJECT
public:
    // Starts serving `folder` on `port` (taken when free, else a free one).
    // Raises volm::Error when no port can be had or the folder is none.
    TSendDialog(QWidget* parent, const std::string& folder, int port = 8080);
    ~TSendDialog() override;

    QString Url() const;
    int Port() const;

    QLabel* QrLabel = nullptr;
    QLabel* UrlLabel = nullptr;
    QPlainTextEdit* LogView = nullptr;
    QPushButton* CloseButton = nullptr;

private:
    std::unique_ptr<TBookServer> server_;
    QString url_;
};

} // namespace volm::ui
