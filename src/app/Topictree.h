#pragma once
// The two working widgets of the project window (TForm2), beyond what the
// toolkit's own do:
//
// TTopicTree, the topic list (TreeView1): a tree used as a flat list that
//  - asks before the current topic changes (by keys, mouse or code): while
//    `mayLeave` refuses, the current topic and the selection stay as they are;
//  - moves topics by dragging them inside the list: it only reports the move
//    (moveRequested) and the window decides;
//  - takes files dropped from outside (filesDropped);
//  - renames in place: editName opens the name editor on a node, and what was
//    typed is reported (renameRequested); the node shows a new name only when
//    the window has stored it.
//
// TTopicEditor, the text editor (RxRichEdit1): a file dropped on it (or pasted
// as a file) inserts the file's text, not its address. What its text is, and
// when it is committed, is TEditorText's business (Editortext).

#include <QPlainTextEdit>
#include <QString>
#include <QStringList>
#include <QTreeWidget>

#include <functional>

class QItemSelectionModel;
class QMimeData;

namespace volm::ui {

class TTopicTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TTopicTree(QWidget* parent = nullptr);

    // Asked before the current node changes to `to` (null: none); false keeps
    // the current node. Not asked while the list's signals are blocked: a
    // window that rearranges its nodes does that under a QSignalBlocker, and
    // the changes of the current node are then neither asked about nor
    // reported.
    std::function<bool(QTreeWidgetItem* to)> mayLeave;

    // Opens the name editor on `node`, holding `text`.
    void editName(QTreeWidgetItem* node, const QString& text);
    // The row a node dragged from `from` lands in when dropped at `pos`
    // (viewport coordinates), as the drop indicator shows it.
    int landingRow(int from, const QPoint& pos) const;
    // What dragging the node at `row` carries; a drop of it on this list
    // moves that node.
    QMimeData* dragData(int row) const;
    // The row such data drags, or -1 when it is not a node of this list.
    int draggedRow(const QMimeData* data) const;

signals:
    void moveRequested(int fromRow, int toRow);
    void filesDropped(const QStringList& paths);
    void renameRequested(QTreeWidgetItem* node, const QString& text);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dropEvent(QDropEvent* e) override;

private:
    friend class TNameDelegate;
    QString pendingName_;
    bool havePendingName_ = false;
};

// The local files among dropped or pasted data ("" for none).
QStringList localFiles(const QMimeData* data);

class TTopicEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;
    // The text a dropped file inserts; raises volm::Error when it can't be read.
    std::function<QString(const QString& path)> fileText;

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
};

} // namespace volm::ui
