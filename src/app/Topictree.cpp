#include "app/Topictree.h"

#include "app/Errorbox.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMimeData>
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QUrl>

namespace volm::ui {

namespace {

const QString kRowFormat = QStringLiteral("application/x-volm-topic-row");

// The selection model of the topic list. Every change of the current node
// passes the gate; in a one-selection list the selection follows the
// current node, so a selection of another node is one whose change the gate
// refused (a mouse press selects after it has set the current node).
class TGateSelectionModel : public QItemSelectionModel {
public:
    TGateSelectionModel(QAbstractItemModel* model, TTopicTree* tree) : QItemSelectionModel(model, tree), tree_(tree) {}

    void setCurrentIndex(const QModelIndex& index, QItemSelectionModel::SelectionFlags command) override
    {
        if (index != currentIndex() && !tree_->signalsBlocked() && tree_->mayLeave &&
            !tree_->mayLeave(tree_->itemFromIndex(index)))
            return;
        approved_ = index;
        QItemSelectionModel::setCurrentIndex(index, command);
    }

    void select(const QItemSelection& selection, QItemSelectionModel::SelectionFlags command) override
    {
        if ((command & (Select | Toggle)) && !selection.isEmpty() && approved_.isValid() &&
            !tree_->signalsBlocked()) {
            bool holds = false;
            for (const QModelIndex& i : selection.indexes())
                holds = holds || i.row() == approved_.row();
            if (!holds)
                return;
        }
        QItemSelectionModel::select(selection, command);
    }
    using QItemSelectionModel::select;

private:
    TTopicTree* tree_;
    QPersistentModelIndex approved_;
};

} // namespace

// The name editor: at most 50 characters, as the name field; what was typed
// goes to the window, not into the list.
class TNameDelegate : public QStyledItemDelegate {
public:
    explicit TNameDelegate(TTopicTree* tree) : QStyledItemDelegate(tree), tree_(tree) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* e = new QLineEdit(parent);
        e->setObjectName(QStringLiteral("NameEditor"));
        e->setMaxLength(50);
        e->setFrame(false);
        return e;
    }

    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        auto* e = static_cast<QLineEdit*>(editor);
        if (tree_->havePendingName_) {
            e->setText(tree_->pendingName_);
            tree_->havePendingName_ = false;
        } else {
            e->setText(index.data().toString());
        }
        e->selectAll();
    }

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        QTreeWidgetItem* node = tree_->itemFromIndex(index);
        const QString text = static_cast<QLineEdit*>(editor)->text();
        if (node && text != node->text(0))
            emit tree_->renameRequested(node, text);
    }

private:
    TTopicTree* tree_;
};

QStringList localFiles(const QMimeData* data)
{
    QStringList out;
    if (!data || !data->hasUrls())
        return out;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile())
            out << u.toLocalFile();
    return out;
}

TTopicTree::TTopicTree(QWidget* parent) : QTreeWidget(parent)
{
    QItemSelectionModel* old = selectionModel();
    auto* gate = new TGateSelectionModel(model(), this);
    setSelectionModel(gate);
    delete old;
    // The list's own signal was tied to the model it was made with.
    connect(gate, &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& now, const QModelIndex& before) {
        emit currentItemChanged(itemFromIndex(now), itemFromIndex(before));
    });
    setItemDelegate(new TNameDelegate(this));
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

void TTopicTree::editName(QTreeWidgetItem* node, const QString& text)
{
    if (!node)
        return;
    pendingName_ = text;
    havePendingName_ = true;
    scrollToItem(node);
    editItem(node, 0);
    havePendingName_ = false;
}

// A dragged node is named by its list and its row: "list row".
QMimeData* TTopicTree::dragData(int row) const
{
    QList<QModelIndex> rows;
    if (QTreeWidgetItem* node = topLevelItem(row))
        rows.append(indexFromItem(node));
    // The list's own format too: the base then draws where the node lands.
    QMimeData* data = model()->mimeData(rows);
    if (!data)
        data = new QMimeData;
    data->setData(kRowFormat, QByteArray::number(reinterpret_cast<quintptr>(this)) + ' ' + QByteArray::number(row));
    return data;
}

int TTopicTree::draggedRow(const QMimeData* data) const
{
    if (!data || !data->hasFormat(kRowFormat))
        return -1;
    const QList<QByteArray> parts = data->data(kRowFormat).split(' ');
    bool ok = false;
    const int row = parts.size() == 2 ? parts[1].toInt(&ok) : -1;
    if (!ok || parts[0] != QByteArray::number(reinterpret_cast<quintptr>(this)) || row < 0 ||
        row >= topLevelItemCount())
        return -1;
    return row;
}

void TTopicTree::startDrag(Qt::DropActions)
{
    QTreeWidgetItem* node = currentItem();
    if (!node)
        return;
    // The list moves nothing itself: the drop reports the move to the window.
    auto* drag = new QDrag(this);
    drag->setMimeData(dragData(indexOfTopLevelItem(node)));
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

namespace {

// A node of the list itself is moved, local files are copied in, anything
// else is refused.
void answerDrag(QDragMoveEvent* e, bool ownNode)
{
    if (ownNode) {
        e->setDropAction(Qt::MoveAction);
        e->accept();
    } else if (!localFiles(e->mimeData()).isEmpty()) {
        e->setDropAction(Qt::CopyAction);
        e->accept();
    } else {
        e->ignore();
    }
}

} // namespace

void TTopicTree::dragEnterEvent(QDragEnterEvent* e)
{
    const bool ownNode = draggedRow(e->mimeData()) >= 0;
    if (ownNode)
        setState(DraggingState);
    answerDrag(e, ownNode);
}

void TTopicTree::dragMoveEvent(QDragMoveEvent* e)
{
    const bool ownNode = draggedRow(e->mimeData()) >= 0;
    // The base draws the drop line between the nodes (they take no children,
    // so a drop is always above or below one) and scrolls.
    if (ownNode)
        QTreeWidget::dragMoveEvent(e);
    answerDrag(e, ownNode);
}

int TTopicTree::landingRow(int from, const QPoint& pos) const
{
    const QModelIndex at = indexAt(pos);
    int gap = topLevelItemCount(); // below every node
    if (at.isValid()) {
        const QRect r = visualRect(at);
        gap = at.row() + (pos.y() >= r.center().y() ? 1 : 0);
    }
    return gap > from ? gap - 1 : gap;
}

void TTopicTree::dropEvent(QDropEvent* e)
{
    const QPoint pos = e->position().toPoint();
    if (const int from = draggedRow(e->mimeData()); from >= 0) {
        setState(NoState);
        viewport()->update();
        e->setDropAction(Qt::MoveAction);
        e->accept();
        const int to = landingRow(from, pos);
        if (to != from)
            emit moveRequested(from, to);
        return;
    }
    const QStringList files = localFiles(e->mimeData());
    if (files.isEmpty()) {
        e->ignore();
        return;
    }
    e->setDropAction(Qt::CopyAction);
    e->accept();
    emit filesDropped(files);
}

bool TTopicEditor::canInsertFromMimeData(const QMimeData* source) const
{
    if (!localFiles(source).isEmpty())
        return !isReadOnly();
    return QPlainTextEdit::canInsertFromMimeData(source);
}

void TTopicEditor::insertFromMimeData(const QMimeData* source)
{
    const QStringList files = localFiles(source);
    if (files.isEmpty() || !fileText) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    for (const QString& f : files) {
        try {
            insertPlainText(fileText(f));
        } catch (const std::exception& e) {
            ShowException(e, this);
            return;
        }
    }
}

} // namespace volm::ui
