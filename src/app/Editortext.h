#pragma once
// The topic editor's text (RxRichEdit1 of the project window): which topic's
// text it holds, what was typed into it, loading a text file into it,
// committing it, and the question asked before typed text would be lost.
//
// The editor always holds the stored text of one topic, or nothing (empty
// and read-only). Typed text that was not committed is "modified"; whatever
// would replace it first asks once: "Commit", "Discard" or "Cancel" (Settle).
// Text the program put there itself is never asked about.
//
// The editor stores its paragraphs, whatever its width: a long line that
// the editor wraps on the screen is one line of the text, each followed by
// CR LF, in Windows-1251 (a character Windows-1251 lacks is stored as "?",
// and counted).

#include "book/Topiccommands.h"

#include <QObject>
#include <QString>

#include <optional>
#include <string>

class QPlainTextEdit;
class QWidget;

namespace volm {
class TJSDataItem;
}

namespace volm::ui {

class TEditorText : public QObject {
    Q_OBJECT
public:
    // `parent` owns this and parents the message boxes.
    TEditorText(QPlainTextEdit* editor, TTopicCommands& commands, QWidget* parent);

    // The index of the topic whose text the editor holds, or none.
    std::optional<size_t> TopicIndex() const;

    // Puts topic `index`'s stored text into the editor, unmodified (none:
    // nothing, the editor empty and read-only). A text that can't be read
    // is shown in the error box, and the editor then holds nothing.
    void Show(std::optional<size_t> index);

    // True while the editor holds typed text that was not committed.
    bool Modified() const;
    // The editor's text as its topic stores it, a character Windows-1251
    // lacks as its nearest text; `replaced` gets the count of them.
    std::string Text(TAnsiCount* replaced = nullptr) const;
    // Stores the text in its topic (nothing to do without one); false after a
    // failure, which is shown in the error box (the editor keeps the text).
    bool Commit();
    // Asks about modified text ("Commit", "Discard": the stored text again,
    // "Cancel"). True when whatever was asked for may go on.
    bool Settle();

    // A text file's text as the editor shows it: read as the load reads it
    // (code-page detection when `detect`), its paragraphs. Raises volm::Error
    // when the file can't be read or is no text (NUL bytes, the signature of
    // a PNG image, a ZIP archive or a compound file: refused as a book import
    // refuses it). `note` gets the one line the user is told: the characters
    // Windows-1251 lacks and a cut at a NUL byte ("": nothing).
    static QString FileText(const QString& path, bool detect, std::string* note = nullptr);
    // Loads a text file into the editor ("L&oad..."). Into a topic whose text
    // is empty (nothing typed) the text is stored at once; over a text it
    // replaces only what the editor shows, marked as typed: "&Commit" stores
    // it, Ctrl+Z in the editor brings the old text back. The status bar hears
    // of the code page found and of the characters Windows-1251 lacks. The
    // editor is unchanged when the file can't be read or is no text (shown in
    // the error box).
    void Load(const QString& path, bool detect);

    // The list changed: the editor lets go of a topic that is gone, and takes
    // the new text of its own topic when nothing was typed.
    void TopicDeleted();
    void TopicTextChanged(size_t index);

signals:
    // The editor's text became modified, or committed or discarded.
    void modifiedChanged(bool modified);
    // A remark for the status bar (characters stored as "?", a text cut at a
    // NUL byte).
    void remark(const QString& text);

private:
    QPlainTextEdit* editor_;
    TTopicCommands& commands_;
    QWidget* parent_;
    // The topic whose text the editor holds (its item stays with it when
    // topics move); compared, never used to reach the item.
    const TJSDataItem* topic_ = nullptr;
    // The stored text as Show put it into the editor ("Discard" brings it
    // back without reading the file, which may have failed meanwhile).
    QString shown_;
    bool committing_ = false;
};

} // namespace volm::ui
