#pragma once
// The application's message boxes. Every command handler that catches a
// failure shows it through ShowException: the message with a full stop added
// when its last character comes after "." (after a letter or a digit, not
// after "!"), the application's title "Volm" as caption, an OK button and the
// stop icon. The program then goes on.

#include <QMessageBox>
#include <QString>

#include <exception>
#include <functional>
#include <string_view>

namespace volm::ui {

inline constexpr const char* kAppTitle = "Volm";

// The text the error box shows for `message`.
QString errorBoxText(const QString& message);

// A message of ours (a std::string holding UTF-8 or Windows-1251 bytes) as text.
QString fromMessage(std::string_view bytes);

// A message box with the application's title and one OK button.
void ShowMessageBox(QMessageBox::Icon icon, const QString& text, QWidget* parent = nullptr);

// The standard error box for a failure.
void ShowException(const std::exception& e, QWidget* parent = nullptr);
void ShowErrorMessage(const QString& message, QWidget* parent = nullptr);

// Tests and the screenshot run replace the boxes with a function that gets
// what would have been shown; none (the default) shows real boxes.
struct TShownMessage {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};
using MessageSink = std::function<void(const TShownMessage&)>;
void setMessageSink(MessageSink sink);

// A question in a box with the application's title and the question icon:
// the buttons in order, `defaultButton` taking Enter, the last one Escape.
// Returns the index of the button chosen.
int AskQuestion(const QString& text, const QStringList& buttons, int defaultButton, QWidget* parent = nullptr);

// What to do with typed text that was not committed.
enum class TEditsAnswer { Commit, Discard, Cancel };
// "Commit" (the default), "Discard" and "Cancel".
TEditsAnswer AskAboutEdits(const QString& text, QWidget* parent = nullptr);
// "Yes" and "No"; true for "Yes". `yesIsDefault` says which takes Enter.
bool AskYesNo(const QString& text, bool yesIsDefault, QWidget* parent = nullptr);

// Tests replace the question boxes with a function that gets what would have
// been asked and answers with a button's index.
struct TShownQuestion {
    QString title;
    QString text;
    QStringList buttons; // as captioned, mnemonics included
    int defaultButton = 0;
};
using QuestionSink = std::function<int(const TShownQuestion&)>;
void setQuestionSink(QuestionSink sink);

} // namespace volm::ui
