#include "app/Bookdialog.h"

#include "app/Ansitext.h"
#include "app/Dialogbuttons.h"
#include "app/Errorbox.h"
#include "app/Filedialogs.h"
#include "app/Screenfit.h"
#include "book/Topiccommands.h"
#include "book/Bookfile.h"
#include "text/Detect.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
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

} // namespace

TBookDialog::TBookDialog(const QString& file, QWidget* parent) : QDialog(parent), file_(file)
{
    setObjectName(QStringLiteral("BookDialog"));
    setWindowTitle(QStringLiteral("Import book"));
    resize(560, 420);

    SummaryLabel = new QLabel(this);
    SummaryLabel->setObjectName(QStringLiteral("SummaryLabel"));
    SummaryLabel->setWordWrap(true);
    SummaryLabel->setTextFormat(Qt::PlainText);
    ChapterList = new QTreeWidget(this);
    ChapterList->setObjectName(QStringLiteral("ChapterList"));
    ChapterList->setHeaderLabels({QStringLiteral("Chapter"), QStringLiteral("Size"), QStringLiteral("Parts")});
    ChapterList->setUniformRowHeights(true);
    ChapterList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    ChapterList->header()->setStretchLastSection(false);
    ChapterList->setSelectionMode(QAbstractItemView::NoSelection);
    SplitCheck = new QCheckBox(QStringLiteral("&Split chapters longer than"), this);
    SplitCheck->setObjectName(QStringLiteral("SplitCheck"));
    SplitCheck->setChecked(true);
    SplitSizeBox = new QSpinBox(this);
    SplitSizeBox->setObjectName(QStringLiteral("SplitSizeBox"));
    SplitSizeBox->setRange(1, 1024);
    SplitSizeBox->setSuffix(QStringLiteral(" KB"));
    SplitSizeBox->setValue(kDefaultSplitKB);
    KeepLinesCheck = new QCheckBox(QStringLiteral("&Keep lines as they are"), this);
    KeepLinesCheck->setObjectName(QStringLiteral("KeepLinesCheck"));
    KeepLinesCheck->setStatusTip(QStringLiteral("A hard-wrapped plain text keeps its line breaks"));
    NotesBox = new QComboBox(this);
    NotesBox->setObjectName(QStringLiteral("NotesBox"));
    NotesBox->addItems({QStringLiteral("Notes in place"), QStringLiteral("Notes at the chapter's end"),
                        QStringLiteral("Notes in a topic")});
    NotesBox->setStatusTip(QStringLiteral("Where the book's notes go: after the paragraph that refers to them, "
                                          "at the end of its chapter, or in a topic of notes"));
    TitleCheck = new QCheckBox(this);
    TitleCheck->setObjectName(QStringLiteral("TitleCheck"));
    TitleCheck->setStatusTip(QStringLiteral("The phone shows the book under its own title, not the project file's name"));
    TitleCheck->hide();
    // A long title is cut on a narrow screen rather than widening the dialog.
    TitleCheck->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    AppendButton = AcceptButton(this, QStringLiteral("&Append"), "AppendButton");
    CancelButton = RejectButton(this, QStringLiteral("Cancel"), "CancelButton");

    // Two rows of options, so that the dialog fits a small or scaled screen.
    auto* split = new QHBoxLayout;
    split->addWidget(SplitCheck);
    split->addWidget(SplitSizeBox);
    split->addStretch();
    auto* options = new QHBoxLayout;
    options->addWidget(NotesBox);
    options->addWidget(KeepLinesCheck);
    options->addStretch();
    auto* buttons = ButtonBox(Qt::Horizontal, AppendButton, CancelButton);
    auto* all = new QVBoxLayout(this);
    all->addWidget(SummaryLabel);
    all->addWidget(ChapterList, 1);
    all->addLayout(split);
    all->addLayout(options);
    all->addWidget(TitleCheck);
    all->addLayout(buttons);

    connect(SplitCheck, &QCheckBox::toggled, this, [this](bool on) {
        SplitSizeBox->setEnabled(on);
        fill();
    });
    connect(SplitSizeBox, &QSpinBox::valueChanged, this, [this] { fill(); });
    // The repair and the notes happen while reading: read again.
    auto reread = [this] {
        try {
            TWaitCursor wait;
            read();
        } catch (const std::exception& e) {
            ShowException(e, this);
            return;
        }
        fill();
    };
    connect(KeepLinesCheck, &QCheckBox::toggled, this, reread);
    connect(NotesBox, &QComboBox::currentIndexChanged, this, reread);

    read();
    KeepLinesCheck->setEnabled(book_.format == BookFormatName(TBookFormat::Text));
    if (!book_.title.empty()) {
        TitleCheck->setText(QStringLiteral("Name the book after its &title: %1").arg(ansiToText(book_.title)));
        TitleCheck->show();
    }
    fill();
}

void TBookDialog::read()
{
    TBookOptions options;
    options.keepLines = KeepLinesCheck->isChecked();
    const int notes = NotesBox->currentIndex();
    options.notes = notes == 1 ? TNoteMode::End : notes == 2 ? TNoteMode::Topic : TNoteMode::Inline;
    book_ = ReadBookFile(QFile::encodeName(file_).toStdString(), options);
}

void TBookDialog::showEvent(QShowEvent* e)
{
    FitToScreen(this);
    QDialog::showEvent(e);
}

size_t TBookDialog::splitAt() const
{
    return SplitCheck->isChecked() ? static_cast<size_t>(SplitSizeBox->value()) * 1024 : 0;
}

std::vector<TBookTopic> TBookDialog::Topics() const
{
    // A refusal names the book's file, as the command line's does.
    return BookTopics(book_, splitAt(), QFile::encodeName(file_).toStdString());
}

void TBookDialog::fill()
{
    ChapterList->clear();
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
    ChapterList->addTopLevelItems(items);
    ChapterList->resizeColumnToContents(1);
    ChapterList->resizeColumnToContents(2);

    auto counted = [](size_t n, const char* one, const char* many) {
        return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
    };
    QStringList info;
    info << QStringLiteral("%1 (%2, %3): %4, %5")
                .arg(QFileInfo(file_).fileName(), QString::fromUtf8(book_.format.c_str()),
                     QString::fromUtf8(book_.encoding.c_str()),
                     counted(book_.chapters.size(), "chapter", "chapters"), counted(topics, "topic", "topics"));
    if (!book_.title.empty())
        info << QStringLiteral("Title: %1").arg(ansiToText(book_.title)) +
                    (book_.author.empty() ? QString() : QStringLiteral("; by %1").arg(ansiToText(book_.author)));
    const std::string replaced = ReplacementNote(book_.Replaced());
    if (!replaced.empty())
        info << QString::fromStdString(replaced);
    // The command line's options are named as this dialog's controls.
    for (const std::string& note : book_.notes)
        info << QString::fromUtf8(note.c_str())
                    .replace(QStringLiteral("(--keep-lines keeps them)"),
                             QStringLiteral("(\"Keep lines as they are\" keeps them)"));
    SummaryLabel->setText(info.join(u'\n'));
}

QString ChooseBookFile(QWidget* parent)
{
    std::unique_ptr<QFileDialog> choose(NewFileDialog(
        parent, QStringLiteral("Select a book to import"), "BookFileDialog", TFileWanted::Existing,
        {QStringLiteral("Books (*.fb2 *.fb2.zip *.epub *.html *.htm *.xhtml *.md *.txt)"), QStringLiteral("*.*")}));
    return ChooseFile(choose.get());
}

QString ProjectFileNameForTitle(const QString& title, const QString& fallback)
{
    QString name;
    for (QChar c : title) {
        const bool refused = c.unicode() < 0x20 || c.unicode() == 0x7F || QStringLiteral("/\\:*?\"<>|").contains(c);
        name += refused ? u'_' : c;
    }
    auto trim = [](QString s) {
        while (!s.isEmpty() && (s.front() == u' ' || s.front() == u'.'))
            s.remove(0, 1);
        while (!s.isEmpty() && (s.back() == u' ' || s.back() == u'.'))
            s.chop(1);
        return s;
    };
    name = trim(name.simplified());
    // At most 200 bytes of UTF-8, cut between characters.
    while (name.toUtf8().size() > 200)
        name.chop(name.size() >= 2 && name.at(name.size() - 1).isLowSurrogate() ? 2 : 1);
    name = trim(name);
    if (name.isEmpty())
        name = fallback;
    return name + QStringLiteral(".volm");
}

bool ImportBookDialog(QWidget* parent, TTopicCommands& commands, const QString& givenFile)
{
    QString file = givenFile;
    if (file.isEmpty()) {
        file = ChooseBookFile(parent);
        if (file.isEmpty())
            return false;
    }
    try {
        std::unique_ptr<TBookDialog> dialog;
        {
            TWaitCursor wait; // the whole book is read before the dialog shows
            dialog = std::make_unique<TBookDialog>(file, parent);
        }
        dialog->TitleCheck->setChecked(commands.Project().Title().empty());
        if (dialog->exec() != QDialog::Accepted)
            return false;
        TWaitCursor wait;
        commands.AppendBook(dialog->Topics());
        const std::string title = ansiToText(dialog->Book().title).toStdString();
        if (dialog->TitleCheck->isChecked() && !title.empty() && TitleFault(title).empty())
            commands.Project().SaveTitle(title);
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

} // namespace volm::ui
