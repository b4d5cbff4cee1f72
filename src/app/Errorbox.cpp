#include "app/Errorbox.h"

#include "app/Ansitext.h"
#include "common/Codepage.h"

#include <QApplication>

namespace volm::ui {

namespace {
MessageSink& sink()
{
    static MessageSink s;
    return s;
}
} // namespace

void setMessageSink(MessageSink s)
{
    sink() = std::move(s);
}

QString errorBoxText(const QString& message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

QString fromMessage(std::string_view bytes)
{
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return ansiToText(bytes);
}

void ShowMessageBox(QMessageBox::Icon icon, const QString& text, QWidget* parent)
{
    const QString title = QString::fromLatin1(kAppTitle);
    if (sink()) {
        sink()({icon, title, text});
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent ? parent : QApplication::activeWindow());
    box.exec();
}

void ShowErrorMessage(const QString& message, QWidget* parent)
{
    ShowMessageBox(QMessageBox::Critical, errorBoxText(message), parent);
}

void ShowException(const std::exception& e, QWidget* parent)
{
    ShowErrorMessage(fromMessage(e.what()), parent);
}

} // namespace volm::ui
