#include "app/Bookdialog.h"

#include "app/Ansitext.h"
#include "app/Dialogbuttons.h"
#include "app/Errorbox.h"
#include "book/Bookfile.h"
#include "storage/Project.h"
#include "text/Detect.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace volm::ui {

namespace {

constexpr int kDefaultSplitKB = 32;

struct TWaitCursor {
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
};

QString sizeText(size_t bytes)
{
    return bytes < 1024 ? QStringLiteral("%1 bytes").arg(bytes)
                        : QStringLiteral("%1 KB").arg(static_cast<double>(bytes) / 1024.0, 0, 'f', 1);
}

// Routes book files dropped on a view to the dialog.
class TBookDrop : public QObject {
public:
    TBookDrop(QAbstractItemView* view, std::function<void(const QString&)> onBook)
        : QObject(view), onBook_(std::move(onBook))
    {
    }

    static QStringList books(const QMimeData* mime)
    {
        QStringList out;
        if (!mime || !mime->hasUrls())
            return out;
        for (const QUrl& u : mime->urls())
            if (u.isLocalFile() && IsBookFileName(u.toLocalFile()))
                out << u.toLocalFile();
        return out;
    }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* d = static_cast<QDragMoveEvent*>(e);
            if (books(d->mimeData()).isEmpty())
                return false;
            d->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* d = static_cast<QDropEvent*>(e);
            const QStringList files = books(d->mimeData());
            if (files.isEmpty())
                return false;
            d->acceptProposedAction();
            for (const QString& f : files)
                onBook_(f);
            return true;
        }
        default:
            return false;
        }
    }

private:
    std::function<void(const QString&)> onBook_;
};

} // namespace

TBookDialog::TBookDialog(const QString& file, QWidget* parent) : QDialog(parent), file_(file)
{
    setObjectName(QStringLiteral("BookDialog"));
    setWindowTitle(QStringLiteral("Import book"));
    resize(560, 420);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setTextFormat(Qt::PlainText);
    TreeView1 = new QTreeWidget(this);
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setHeaderLabels({QStringLiteral("Chapter"), QStringLiteral("Size"), QStringLiteral("Parts")});
    TreeView1->setUniformRowHeights(true);
    TreeView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    TreeView1->header()->setStretchLastSection(false);
    TreeView1->setSelectionMode(QAbstractItemView::NoSelection);
    CheckBox1 = new QCheckBox(QStringLiteral("&Split chapters longer than"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    SpinEdit1 = new QSpinBox(this);
    SpinEdit1->setObjectName(QStringLiteral("SpinEdit1"));
    SpinEdit1->setRange(1, 1024);
    SpinEdit1->setSuffix(QStringLiteral(" KB"));
    SpinEdit1->setValue(kDefaultSplitKB);
    CheckBox2 = new QCheckBox(QStringLiteral("&Keep lines as they are"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setStatusTip(QStringLiteral("A hard-wrapped plain text keeps its line breaks"));
    BitBtn1 = AcceptButton(this, QStringLiteral("&Append"), "BitBtn1");
    BitBtn2 = RejectButton(this, QStringLiteral("Cancel"), "BitBtn2");

    auto* split = new QHBoxLayout;
    split->addWidget(CheckBox1);
    split->addWidget(SpinEdit1);
    split->addStretch();
    split->addWidget(CheckBox2);
    auto* buttons = ButtonBox(Qt::Horizontal, BitBtn1, BitBtn2);
    auto* all = new QVBoxLayout(this);
    all->addWidget(Label1);
    all->addWidget(TreeView1, 1);
    all->addLayout(split);
    all->addLayout(buttons);

    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) {
        SpinEdit1->setEnabled(on);
        fill();
    });
    connect(SpinEdit1, &QSpinBox::valueChanged, this, [this] { fill(); });
    connect(CheckBox2, &QCheckBox::toggled, this, [this] {
        // The repair happens while reading: read again.
        try {
            TWaitCursor wait;
            read();
        } catch (const std::exception& e) {
            ShowException(e, this);
            return;
        }
        fill();
    });

    read();
    CheckBox2->setEnabled(book_.format == BookFormatName(TBookFormat::Text));
    fill();
}

void TBookDialog::read()
{
    TBookOptions options;
    options.keepLines = CheckBox2->isChecked();
    book_ = ReadBookFile(QFile::encodeName(file_).toStdString(), options);
}

size_t TBookDialog::splitAt() const
{
    return CheckBox1->isChecked() ? static_cast<size_t>(SpinEdit1->value()) * 1024 : 0;
}

std::vector<TBookTopic> TBookDialog::Topics() const
{
    return BookTopics(book_, splitAt());
}

void TBookDialog::fill()
{
    TreeView1->clear();
    size_t topics = 0;
    QList<QTreeWidgetItem*> items;
    for (const TBookChapter& ch : book_.chapters) {
        std::vector<TBookTopic> parts = ChapterTopics(ch, splitAt());
        topics += parts.size();
        auto* item = new QTreeWidgetItem(
            QStringList{ansiToText(ch.name), sizeText(ChapterSize(ch)), QString::number(parts.size())});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        if (parts.size() > 1)
            for (const TBookTopic& p : parts)
                item->addChild(new QTreeWidgetItem(QStringList{ansiToText(p.name), sizeText(p.text.size())}));
        items << item;
    }
    TreeView1->addTopLevelItems(items);
    TreeView1->resizeColumnToContents(1);
    TreeView1->resizeColumnToContents(2);

    QStringList info;
    info << QStringLiteral("%1 (%2, %3): %4 chapters, %5 topics")
                .arg(QFileInfo(file_).fileName(), QString::fromUtf8(book_.format.c_str()),
                     QString::fromUtf8(book_.encoding.c_str()))
                .arg(book_.chapters.size())
                .arg(topics);
    if (!book_.title.empty())
        info << QStringLiteral("Book name suggestion (a book is named after its project file): %1")
                    .arg(ansiToText(book_.NameSuggestion()));
    TDetection replaced;
    replaced.missing = book_.missing;
    replaced.invalid = book_.invalid;
    if (!replaced.Replacements().empty())
        info << QString::fromUtf8(replaced.Replacements().c_str());
    for (const std::string& note : book_.notes)
        info << QString::fromUtf8(note.c_str());
    Label1->setText(info.join(u'\n'));
}

bool ImportBookDialog(QWidget* parent, TProject& project, const QString& givenFile)
{
    QString file = givenFile;
    if (file.isEmpty()) {
        QFileDialog d(parent, QStringLiteral("Select a book to import"));
        d.setObjectName(QStringLiteral("OpenDialog3"));
        d.setOption(QFileDialog::DontUseNativeDialog);
        d.setAcceptMode(QFileDialog::AcceptOpen);
        d.setFileMode(QFileDialog::ExistingFile);
        d.setNameFilters({QStringLiteral("Books (*.fb2 *.fb2.zip *.epub *.html *.htm *.xhtml *.md *.txt)"),
                          QStringLiteral("*.*")});
        if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty())
            return false;
        file = d.selectedFiles().first();
    }
    try {
        std::unique_ptr<TBookDialog> dialog;
        {
            TWaitCursor wait; // the whole book is read before the dialog shows
            dialog = std::make_unique<TBookDialog>(file, parent);
        }
        if (dialog->exec() != QDialog::Accepted)
            return false;
        TWaitCursor wait;
        AppendBookTopics(project, dialog->Topics());
    } catch (const std::exception& e) {
        ShowException(e, parent);
        return false;
    }
    return true;
}

bool IsBookFileName(const QString& path)
{
    const QString name = QFileInfo(path).fileName().toLower();
    for (const char* ext : {".fb2", ".fb2.zip", ".epub", ".html", ".htm", ".xhtml", ".md", ".markdown"})
        if (name.endsWith(QLatin1String(ext)))
            return true;
    return false;
}

void AcceptBookDrops(QAbstractItemView* view, std::function<void(const QString& file)> onBook)
{
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(new TBookDrop(view, std::move(onBook)));
}

} // namespace volm::ui
