#pragma once
// "Import book...": a whole book file (FB2, zipped FB2, EPUB, HTML, Markdown
// or a plain text) shown chapter by chapter before it is appended to the
// project: each chapter's name, size and the parts a split will make. The
// split (on, at 32 KB) and, for plain texts, keeping the lines of a
// hard-wrapped text are chosen here; "&Append" appends every topic (all or
// none), "Cancel" nothing. The project window offers it in its "&Document"
// menu and its topic list's context menu, and for book files dropped on the
// list.

#include "text/Bookimport.h"

#include <QDialog>
#include <QString>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QTreeWidget;

namespace volm {
class TTopicCommands;
}

namespace volm::ui {

class TBookDialog : public QDialog {
    Q_OBJECT
public:
    // Reads the book at `file` (raises volm::Error when it is no book).
    explicit TBookDialog(const QString& file, QWidget* parent = nullptr);

    // The topics "&Append" appends, as the controls stand.
    std::vector<TBookTopic> Topics() const;
    // The book as read (its title and author among the rest).
    const TBook& Book() const { return book_; }

    QLabel* SummaryLabel = nullptr;       // what the file is, what was replaced
    QTreeWidget* ChapterList = nullptr;   // chapters (name, size, parts); their parts below them
    QCheckBox* SplitCheck = nullptr;      // "&Split chapters longer than"
    QSpinBox* SplitSizeBox = nullptr;     // the split size in KB
    QCheckBox* KeepLinesCheck = nullptr;  // "&Keep lines as they are" (plain texts)
    QComboBox* NotesBox = nullptr;        // where notes go: in place, at the chapter's end, in a topic
    QCheckBox* TitleCheck = nullptr;      // "Name the book after its &title" (shown when it has one)
    QPushButton* AppendButton = nullptr;  // "&Append"
    QPushButton* CancelButton = nullptr;  // "Cancel"

protected:
    void showEvent(QShowEvent* e) override;

private:
    void read();
    void fill();
    size_t splitAt() const;

    QString file_;
    TBook book_;
};

// Shows the dialog for `file` (first asks for a file when it is empty) and
// appends the topics the user accepts (TTopicCommands::AppendBook), and the
// book's title as the project's book name when the user keeps "Name the book
// after its title" checked (it is, for a project that has no name of its own
// yet). True when topics were appended; failures are shown in the error box.
bool ImportBookDialog(QWidget* parent, TTopicCommands& commands, const QString& file = {});

// Asks for a book file to import: the file chosen, or "" when cancelled.
QString ChooseBookFile(QWidget* parent);

// The name of a new project for a book titled `title` (UTF-8): the title
// with what a file name can't hold (the path separators, the characters
// other systems refuse, control characters) as "_", without blanks or dots
// at its ends, at most 200 bytes, and ".volm"; `fallback` stands in for an
// empty title.
QString ProjectFileNameForTitle(const QString& title, const QString& fallback);

// True for the names of book files the dialog takes when dropped: .fb2,
// .fb2.zip, .epub, .html, .htm, .xhtml, .md, .markdown (plain .txt files are
// the list's own business).
bool IsBookFileName(const QString& path);

} // namespace volm::ui
