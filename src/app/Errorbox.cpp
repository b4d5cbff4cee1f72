#include "app/Errorbox.h"

#include "app/Ansitext.h"
#include "common/Codepage.h"

#include <QApplication>
#include <QPushButton>

namespace volm::ui {

namespace {
MessageSink& sink()
{
    static MessageSink s;
    return s;
}
QuestionSink& questionSink()
{
    static QuestionSink s;
    return s;
}
} // namespace

void setQuestionSink(QuestionSink s)
{
    questionSink() = std::move(s);
}

int AskQuestion(const QString& text, const QStringList& buttons, int defaultButton, QWidget* parent)
{
    const QString title = QString::fromLatin1(kAppTitle);
    if (questionSink())
        return questionSink()({title, text, buttons, defaultButton});
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton,
                    parent ? parent : QApplication::activeWindow());
    box.setObjectName(QStringLiteral("QuestionBox"));
    QList<QAbstractButton*> made;
    for (int i = 0; i < buttons.size(); ++i) {
        const bool last = i + 1 == buttons.size();
        made.append(box.addButton(buttons[i], last ? QMessageBox::RejectRole
                                              : i == 0 ? QMessageBox::AcceptRole : QMessageBox::DestructiveRole));
    }
    if (defaultButton >= 0 && defaultButton < made.size())
        box.setDefaultButton(qobject_cast<QPushButton*>(made[defaultButton]));
    if (!made.isEmpty())
        box.setEscapeButton(made.back());
    box.exec();
    const int chosen = static_cast<int>(made.indexOf(box.clickedButton()));
    return chosen < 0 ? static_cast<int>(buttons.size()) - 1 : chosen;
}

TEditsAnswer AskAboutEdits(const QString& text, QWidget* parent)
{
    switch (AskQuestion(text, {QStringLiteral("&Commit"), QStringLiteral("&Discard"), QStringLiteral("Cancel")}, 0,
                        parent)) {
    case 0: return TEditsAnswer::Commit;
    case 1: return TEditsAnswer::Discard;
    default: return TEditsAnswer::Cancel;
    }
}

bool AskYesNo(const QString& text, bool yesIsDefault, QWidget* parent)
{
    return AskQuestion(text, {QStringLiteral("&Yes"), QStringLiteral("&No")}, yesIsDefault ? 0 : 1, parent) == 0;
}

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
