#include "app/Child.h"

#include "app/Bookdialog.h"
#include "app/Errorbox.h"
#include "app/Fontdialog.h"
#include "app/Generate.h"
#include "app/Main.h"
#include "app/Topictree.h"
#include "book/Manifest.h"
#include "common/Codepage.h"
#include "common/Fileio.h"
#include "text/Detect.h"
#include "text/Textlines.h"
#include "storage/Pack.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace volm::ui {

namespace {

constexpr int kNumberRole = Qt::UserRole;

std::string pathBytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The whole file, or a volm::Error naming it and the cause.
std::string readWholeFile(const QString& path)
{
    return ReadWholeFile(pathBytes(path), kMaxTextFileSize);
}

QFileDialog* textDialog(QWidget* parent, const QString& title, const char* name)
{
    auto* d = new QFileDialog(parent, title);
    d->setObjectName(QString::fromLatin1(name));
    d->setOption(QFileDialog::DontUseNativeDialog);
    d->setOption(QFileDialog::ReadOnly, false);
    d->setAcceptMode(QFileDialog::AcceptOpen);
    d->setFileMode(QFileDialog::ExistingFile); // path and file must exist
    d->setNameFilters({QStringLiteral("*.txt"), QStringLiteral("*.*")});
    d->setDefaultSuffix(QStringLiteral("txt"));
    d->setSizeGripEnabled(true);
    UseInlineCompletion(d);
    return d;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& hint)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setStatusTip(hint);
    b->setToolTip(hint);
    QFont f = b->font();
    f.setBold(true);
    b->setFont(f);
    return b;
}

// What the font commands work on: the dialog, the check item, the editor
// and the project file.
TFontCommandTarget fontTarget(TForm2& w)
{
    TFontCommandTarget t;
    t.FontDialog1 = w.FontDialog1;
    t.Usecustomfont1 = w.Usecustomfont1;
    t.Editor = w.RxRichEdit1;
    t.SaveFontSettings = [&w](const TFontSettings& s) { w.Project().SaveFontSettings(s); };
    t.parent = &w;
    return t;
}

// A command with its hint in the status bar and as its tooltip.
QAction* command(QObject* parent, const QString& text, const QString& hint, const QKeySequence& keys = {})
{
    auto* a = new QAction(text, parent);
    a->setStatusTip(hint);
    a->setToolTip(keys.isEmpty() ? hint : hint + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + u')');
    if (!keys.isEmpty())
        a->setShortcut(keys);
    return a;
}

// A node of the list: selectable, renamed in place, dragged; nothing is
// dropped into it (the list is flat).
QTreeWidgetItem* newNode(const QString& text)
{
    auto* node = new QTreeWidgetItem(QStringList{text});
    node->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsDragEnabled);
    return node;
}

// Why a project can't be opened or created at `path`, beyond what the
// storage says: a missing folder, an empty file.
QString openCause(const QString& path, const std::exception& e)
{
    const QFileInfo info(path);
    const QString dir = info.absolutePath();
    if (!info.exists() && !QFileInfo(dir).isDir())
        return QStringLiteral("%1: the folder %2 does not exist").arg(path, dir);
    if (info.isFile() && info.size() == 0)
        return QStringLiteral("%1: an empty file, not a project file; left as it is").arg(path);
    return fromMessage(e.what());
}

// A splitter with a thin handle between two panes.
QSplitter* splitter(const char* name, Qt::Orientation orientation, QWidget* first, QWidget* second,
                    const QList<int>& sizes)
{
    auto* s = new QSplitter(orientation);
    s->setObjectName(QLatin1String(name));
    s->setHandleWidth(3);
    s->addWidget(first);
    s->addWidget(second);
    s->setSizes(sizes);
    return s;
}

// `child` filling `parent`, `margin` pixels from its edges.
void fill(QWidget* parent, QWidget* child, int margin)
{
    auto* l = new QVBoxLayout(parent);
    l->setContentsMargins(margin, margin, margin, margin);
    l->addWidget(child);
}

} // namespace

TForm2::TForm2(QWidget* parent) : TProjectWindow(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(636, 474);

    // Left: the topic list and the entry with its buttons.
    GroupBox2 = new QGroupBox(QStringLiteral("Add/select topic here"));
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    TreeView1 = tree_ = new TTopicTree;
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setStatusTip(QStringLiteral("List of topics"));
    TreeView1->setToolTip(QStringLiteral("List of topics: F2 renames, Delete deletes, Alt+Up and Alt+Down move, "
                                         "drag to reorder, drop text files to add them as topics"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setRootIsDecorated(false);
    TreeView1->setIndentation(19);
    TreeView1->setUniformRowHeights(true);
    TreeView1->setMouseTracking(true); // hot tracking
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers); // renamed by F2 and the context menu only
    GroupBox3 = new QGroupBox;
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    Label1 = new QLabel(QStringLiteral("Enter topic's name here:"), GroupBox3);
    Label1->setObjectName(QStringLiteral("Label1"));
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    Edit1 = new QLineEdit(GroupBox3);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setStatusTip(QStringLiteral("Topic's name to append"));
    Edit1->setToolTip(QStringLiteral("Topic's name to append (Enter appends and empties the field)"));
    Edit1->setMaxLength(50);
    BitBtn1 = button(GroupBox3, "BitBtn1", QStringLiteral("A&ppend"),
                     QStringLiteral("Append topic with entered name to list"));
    // "D&elete": Alt+D opens the "&Document" menu.
    BitBtn2 = button(GroupBox3, "BitBtn2", QStringLiteral("D&elete"),
                     QStringLiteral("Delete selected item"));
    BitBtn3 = button(GroupBox3, "BitBtn3", QStringLiteral("&Load..."),
                     QStringLiteral("Loads topics list from text file, each line of file will be "
                                    "item in list, lines are appended"));
    auto* g3 = new QVBoxLayout(GroupBox3);
    g3->addWidget(Label1);
    g3->addWidget(Edit1);
    g3->addWidget(BitBtn1);
    g3->addWidget(BitBtn2);
    g3->addWidget(BitBtn3);
    g3->addStretch();
    RxSplitter3 = splitter("RxSplitter3", Qt::Vertical, TreeView1, GroupBox3, {282, 150});
    fill(GroupBox2, RxSplitter3, 2);

    // Right: the editor pane, hidden until a topic is selected.
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Text"));
    RxRichEdit1 = editor_ = new TTopicEditor;
    RxRichEdit1->setObjectName(QStringLiteral("RxRichEdit1"));
    RxRichEdit1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    RxRichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RxRichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RxRichEdit1->setTabChangesFocus(true); // a tab shows as a box on the phone anyway
    RxRichEdit1->setReadOnly(true);        // until a topic's text is in it
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSize(8);
    RxRichEdit1->setFont(mono);
    GroupBox1 = new QGroupBox;
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Button1 = new QPushButton(QStringLiteral("L&oad..."), GroupBox1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setStatusTip(QStringLiteral("Load text file"));
    Button1->setToolTip(QStringLiteral("Load text file"));
    CheckBox1 = new QCheckBox(QStringLiteral("Try to find valid code page for russian on load"), GroupBox1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    CheckBox1->setToolTip(QStringLiteral("Reads a loaded or dropped file as UTF-8, UTF-16 or the Cyrillic code page "
                                         "it is written in; cleared, its bytes are taken as Windows-1251"));
    Button2 = new QPushButton(QStringLiteral("&Commit"), GroupBox1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setStatusTip(QStringLiteral("If you did manuall changes, click here to save it."));
    Button2->setToolTip(QStringLiteral("If you did manuall changes, click here to save it. (Ctrl+S)"));
    auto* g1 = new QVBoxLayout(GroupBox1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addStretch();
    buttons->addWidget(Button2);
    g1->addLayout(buttons);
    g1->addWidget(CheckBox1);
    RxSplitter1 = splitter("RxSplitter1", Qt::Vertical, RxRichEdit1, GroupBox1, {273, 80});
    RxSplitter1->setStretchFactor(0, 1);
    RxSplitter1->setCollapsible(0, false);
    fill(TabSheet1, RxSplitter1, 0);
    // The pane's place stays when it is hidden: the list keeps its width.
    auto* right = new QWidget;
    fill(right, PageControl1, 0);
    PageControl1->hide();

    RxSplitter2 = splitter("RxSplitter2", Qt::Horizontal, GroupBox2, right, {185, 451});
    RxSplitter2->setStretchFactor(1, 1);
    fill(this, RxSplitter2, 0);

    OpenDialog2 = textDialog(this, QStringLiteral("Select list of topics..."), "OpenDialog2");
    OpenDialog1 = textDialog(this, QStringLiteral("Select text to load into topic"), "OpenDialog1");

    Document1 = new QMenu(QStringLiteral("&Document"), this);
    Document1->setObjectName(QStringLiteral("Document1"));
    Document1->setToolTipsVisible(true);
    Font1 = command(this, QStringLiteral("&Font"), QStringLiteral("Allow to choose font for text in mobile."));
    Usecustomfont1 = command(this, QStringLiteral("&Use custom font"),
                             QStringLiteral("Allows to put in JAVA package newly selected custom font."));
    Usecustomfont1->setCheckable(true);
    Pack1 = command(this, QStringLiteral("&Pack"),
                    QStringLiteral("Allows to minimize size of current document (used if was a lot of deletions)"));
    GenerateJAVA1 = command(this, QStringLiteral("&Generate JAVA middlet"),
                            QStringLiteral("Starts generation of MIDDLET for current document"));
    OpenBookFolder1 = command(this, QStringLiteral("Open &book folder"),
                              QStringLiteral("Opens the folder of the generated jar and jad with the desktop's file "
                                             "manager"));
    Document1->addAction(Font1);
    Document1->addAction(Usecustomfont1);
    Document1->addSeparator();
    Document1->addAction(Pack1);
    Document1->addAction(GenerateJAVA1);
    Document1->addAction(OpenBookFolder1);
    FontDialog1 = new TFontDialog(this);

    // The topic list's commands: the context menu, and keys while the list has the focus.
    Append1 = command(this, QStringLiteral("&Append"),
                      QStringLiteral("Append topic with entered name to list"));
    Rename1 = command(this, QStringLiteral("&Rename"), QStringLiteral("Rename the selected topic"),
                      QKeySequence(Qt::Key_F2));
    Delete1 = command(this, QStringLiteral("&Delete"), QStringLiteral("Delete selected item (asks first)"),
                      QKeySequence(QKeySequence::Delete));
    MoveUp1 = command(this, QStringLiteral("Move &up"), QStringLiteral("Move the selected topic up the list"),
                      QKeySequence(Qt::ALT | Qt::Key_Up));
    MoveDown1 = command(this, QStringLiteral("Move do&wn"), QStringLiteral("Move the selected topic down the list"),
                        QKeySequence(Qt::ALT | Qt::Key_Down));
    LoadText1 = command(this, QStringLiteral("&Load text..."), QStringLiteral("Load text file"));
    for (QAction* a : {Rename1, Delete1, MoveUp1, MoveDown1}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        TreeView1->addAction(a);
    }
    TopicMenu = new QMenu(this);
    TopicMenu->setObjectName(QStringLiteral("TopicMenu"));
    TopicMenu->setToolTipsVisible(true);
    TopicMenu->addAction(Append1);
    TopicMenu->addAction(Rename1);
    TopicMenu->addAction(Delete1);
    TopicMenu->addSeparator();
    TopicMenu->addAction(MoveUp1);
    TopicMenu->addAction(MoveDown1);
    TopicMenu->addSeparator();
    TopicMenu->addAction(LoadText1);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    Commit1 = command(this, QStringLiteral("&Commit"), Button2->statusTip(), QKeySequence::Save);
    Commit1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(Commit1);
    editor_->fileText = [this](const QString& path) { return fileText(path); };

    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm2::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm2::BitBtn3Click);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Pack1, &QAction::triggered, this, &TForm2::Pack1Click);
    connect(Font1, &QAction::triggered, this, &TForm2::FontClick);
    connect(Usecustomfont1, &QAction::triggered, this, &TForm2::Usecustomfont1Click);
    connect(GenerateJAVA1, &QAction::triggered, this, &TForm2::GenerateJAVA1Click);
    connect(OpenBookFolder1, &QAction::triggered, this, &TForm2::OpenBookFolder1Click);
    connect(Document1, &QMenu::aboutToShow, this, [this] {
        OpenBookFolder1->setEnabled(project_.IsOpen() &&
                                    QFileInfo(QFile::decodeName(BookFolder(project_.Path()).c_str())).isDir());
    });
    connect(TreeView1, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
        if (!tree_->quiet)
            TreeView1Change(current);
    });
    tree_->mayLeave = [this](QTreeWidgetItem* to) { return to == editorNode_ || SettleEdits(); };
    connect(tree_, &TTopicTree::moveRequested, this, [this](int from, int to) { MoveTopic(from, to); });
    connect(tree_, &TTopicTree::filesDropped, this, &TForm2::DropFiles);
    connect(tree_, &TTopicTree::renameRequested, this,
            [this](QTreeWidgetItem* node, const QString& name) { RenameTopic(node, name); });
    connect(TreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QTreeWidgetItem* at = TreeView1->itemAt(pos); at && at != TreeView1->currentItem())
            TreeView1->setCurrentItem(at);
        updateTopicCommands();
        TopicMenu->popup(TreeView1->viewport()->mapToGlobal(pos));
    });
    connect(Edit1, &QLineEdit::returnPressed, this, &TForm2::Edit1Enter);
    connect(Append1, &QAction::triggered, this, [this] {
        if (Edit1->text().isEmpty())
            Edit1->setFocus(); // type the name there
        else
            BitBtn1Click();
    });
    connect(Rename1, &QAction::triggered, this, &TForm2::Rename1Click);
    connect(Delete1, &QAction::triggered, this, &TForm2::Delete1Click);
    connect(MoveUp1, &QAction::triggered, this, [this] {
        const int row = TreeView1->indexOfTopLevelItem(TreeView1->currentItem());
        if (row > 0)
            MoveTopic(row, row - 1);
    });
    connect(MoveDown1, &QAction::triggered, this, [this] {
        const int row = TreeView1->indexOfTopLevelItem(TreeView1->currentItem());
        if (row >= 0 && row + 1 < TreeView1->topLevelItemCount())
            MoveTopic(row, row + 1);
    });
    connect(LoadText1, &QAction::triggered, this, &TForm2::Button1Click);
    connect(Commit1, &QAction::triggered, this, &TForm2::Button2Click);
    connect(RxRichEdit1->document(), &QTextDocument::modificationChanged, this, &TForm2::editorModified);
    updateTopicCommands();
    // Whole books (Bookdialog): the menu command and the list's context menu;
    // book files dropped on the list come through DropFiles.
    Document1->addSeparator();
    ImportBook1 = Document1->addAction(QStringLiteral("&Import book..."));
    ImportBook1->setStatusTip(
        QStringLiteral("Appends a book file (FB2, EPUB, HTML, Markdown, text) as one topic per chapter"));
    connect(ImportBook1, &QAction::triggered, this, [this] { ImportBook1Click(); });
    TopicMenu->addSeparator();
    TopicMenu->addAction(ImportBook1);
}

void TForm2::ImportBook1Click(const QString& file)
{
    if (!project_.IsOpen())
        return;
    const size_t first = project_.TopicCount();
    if (!ImportBookDialog(this, project_, file))
        return;
    for (size_t i = first; i < project_.TopicCount(); ++i)
        appendNode(project_.Topic(i).Text)->setData(0, kNumberRole, project_.Topic(i).Number);
}

TForm2::~TForm2()
{
    closeProject();
}

int32_t TForm2::NodeNumber(const QTreeWidgetItem* node)
{
    return node ? node->data(0, kNumberRole).toInt() : 0;
}

int TForm2::TopicIndex(const QTreeWidgetItem* node) const
{
    const int32_t number = NodeNumber(node);
    if (number == 0 || !project_.IsOpen())
        return -1;
    // Nodes and topics are in the same order; the node's row is the first guess.
    const int row = TreeView1->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(node));
    const size_t n = project_.TopicCount();
    if (row >= 0 && size_t(row) < n && project_.Topic(size_t(row)).Number == number)
        return row;
    for (size_t i = 0; i < n; ++i)
        if (project_.Topic(i).Number == number)
            return static_cast<int>(i);
    return -1;
}

bool TForm2::OpenProject(const QString& path)
{
    if (project_.IsOpen())
        return false;
    openFailure_.clear();
    try {
        project_.Open(pathBytes(path));
        path_ = path;
        updateCaption();
        RestoreFontSettings(fontTarget(*this), project_.FontSettings());
        fillTree();
    } catch (const std::exception& e) {
        // The window holds no file then; the caller reports the failure.
        openFailure_ = openCause(path, e);
        try {
            project_.CloseProject();
        } catch (const std::exception&) {
        }
        path_.clear();
        return false;
    }
    return true;
}

bool TForm2::HoldsProject(const QString& path) const
{
    return project_.IsOpen() && path_ == path;
}

void TForm2::fillTree()
{
    QList<QTreeWidgetItem*> nodes;
    nodes.reserve(static_cast<qsizetype>(project_.TopicCount()));
    for (size_t i = 0; i < project_.TopicCount(); ++i) {
        const TTopicNode& t = project_.Topic(i);
        QTreeWidgetItem* node = newNode(ansiToText(t.Text));
        node->setData(0, kNumberRole, t.Number);
        nodes.append(node);
    }
    TreeView1->addTopLevelItems(nodes);
    updateTopicCommands();
}

QTreeWidgetItem* TForm2::appendNode(const std::string& name)
{
    QTreeWidgetItem* node = newNode(ansiToText(name));
    TreeView1->addTopLevelItem(node);
    TreeView1->setCurrentItem(node);
    return node;
}

void TForm2::appendTopic(const std::string& name)
{
    // The node comes first and is selected before it has its topic.
    QTreeWidgetItem* node = appendNode(name);
    const size_t index = project_.AddTopic(name);
    node->setData(0, kNumberRole, project_.Topic(index).Number);
    // The editor shows the new topic's (empty) text, never the one before.
    showTopic(node);
}

std::optional<std::string> TForm2::entryName()
{
    std::optional<std::string> name = textToAnsiExact(Edit1->text());
    if (!name) {
        // The entry keeps the name for correction.
        ShowErrorMessage(lackingMessage(QStringLiteral("The topic name"), Edit1->text()), this);
        Edit1->setFocus();
    }
    return name;
}

void TForm2::BitBtn1Click()
{
    if (Edit1->text().isEmpty() || !project_.IsOpen())
        return;
    const std::optional<std::string> name = entryName();
    if (!name || !SettleEdits())
        return;
    try {
        appendTopic(*name);
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
    updateTopicCommands();
}

void TForm2::Edit1Enter()
{
    if (Edit1->text().isEmpty() || !project_.IsOpen())
        return;
    const int before = TreeView1->topLevelItemCount();
    BitBtn1Click();
    if (TreeView1->topLevelItemCount() > before)
        Edit1->clear(); // ready for the next name
}

void TForm2::BitBtn2Click()
{
    RxRichEdit1->clear();
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node) {
        showTopic(nullptr);
        return;
    }
    const int index = TopicIndex(node);
    // What the editor held goes with its topic: no question.
    tree_->quiet = true;
    TreeView1->setCurrentItem(nullptr);
    TreeView1->clearSelection();
    tree_->quiet = false;
    TreeView1Change(nullptr);
    delete node;
    updateTopicCommands();
    if (index < 0)
        return; // a node without a topic: only the node goes
    try {
        project_.DeleteTopic(static_cast<size_t>(index));
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
}

void TForm2::Delete1Click()
{
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node || !project_.IsOpen())
        return;
    if (AskYesNo(QStringLiteral("Delete topic \"%1\"?").arg(node->text(0)), false, this))
        BitBtn2Click();
}

void TForm2::BitBtn3Click()
{
    if (!project_.IsOpen() || !SettleEdits())
        return;
    if (OpenDialog2->exec() != QDialog::Accepted || OpenDialog2->selectedFiles().isEmpty())
        return;
    const QString file = OpenDialog2->selectedFiles().first();
    std::string bytes;
    try {
        bytes = readWholeFile(file);
    } catch (const std::exception& e) {
        ShowException(e, this);
        return;
    }
    // The list is read as text (UTF-8, UTF-16 or the detected Cyrillic code
    // page); a name Windows-1251 can't hold is named, and nothing is added.
    const TDecodedList list = DecodeTopicList(bytes);
    if (!list.refused.empty()) {
        QStringList lines;
        for (const TRefusedName& r : list.refused) {
            QStringList chars;
            for (const std::string& c : r.characters)
                chars << u'"' + QString::fromStdString(c) + u'"';
            lines << QStringLiteral("line %1 \"%2\": %3").arg(r.line).arg(QString::fromStdString(r.text),
                                                               chars.join(QStringLiteral(", ")));
        }
        ShowMessageBox(QMessageBox::Critical,
                       QStringLiteral("%1: no topics were added; these names have characters that Windows-1251 "
                                      "lacks:\n%2")
                           .arg(file, lines.join(u'\n')),
                       this);
        return;
    }
    TreeView1->setUpdatesEnabled(false);
    size_t added = 0;
    try {
        for (const std::string& line : list.names) {
            appendTopic(line);
            ++added;
        }
    } catch (const std::exception& e) {
        // What was appended before the failing line stays.
        TreeView1->setUpdatesEnabled(true);
        ShowErrorMessage(QStringLiteral("%1, line %2: %3 (the topics of the %4 lines before it were appended)")
                             .arg(file)
                             .arg(added + 1)
                             .arg(fromMessage(e.what()))
                             .arg(added),
                         this);
    }
    TreeView1->setUpdatesEnabled(true);
    if (QTreeWidgetItem* last = TreeView1->currentItem())
        TreeView1->scrollToItem(last);
    updateTopicCommands();
    if (size_t at = LoadedTextCut(bytes, &list.found); at != std::string::npos)
        showStatus(QString::fromStdString(NulCutNote(at)));
}

void TForm2::TreeView1Change(QTreeWidgetItem* node)
{
    PageControl1->setVisible(node != nullptr);
    if (node && node == editorNode_)
        return; // its text (and what was typed into it) is there already
    showTopic(node);
    updateTopicCommands();
}

void TForm2::showTopic(QTreeWidgetItem* node)
{
    const int index = TopicIndex(node);
    QString text;
    if (index >= 0) {
        try {
            text = ansiToText(project_.GetText(static_cast<size_t>(index)));
        } catch (const std::exception& e) {
            ShowException(e, this);
            node = nullptr;
        }
    } else {
        node = nullptr;
    }
    // One update: the old text is replaced as a whole.
    editorNode_ = node;
    RxRichEdit1->setPlainText(text);
    RxRichEdit1->setReadOnly(node == nullptr);
    RxRichEdit1->document()->setModified(false);
    editorModified();
}

bool TForm2::HasUncommittedEdits() const
{
    return editorNode_ && RxRichEdit1->document()->isModified();
}

bool TForm2::SettleEdits()
{
    if (!HasUncommittedEdits())
        return true;
    const QString name = editorNode_->text(0);
    switch (AskAboutEdits(QStringLiteral("The text of topic \"%1\" was changed and not committed.\n"
                                         "Commit the changes?")
                              .arg(name),
                          this)) {
    case TEditsAnswer::Commit:
        return commitEditor();
    case TEditsAnswer::Discard:
        showTopic(editorNode_); // the stored text again
        return true;
    case TEditsAnswer::Cancel:
        break;
    }
    return false;
}

void TForm2::editorModified()
{
    updateCaption();
    emit editsChanged(HasUncommittedEdits());
}

void TForm2::updateCaption()
{
    if (path_.isEmpty())
        return;
    // "[*]" in a path is shown as it is, not as the toolkit's mark.
    QString caption = path_;
    caption.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    setWindowTitle(HasUncommittedEdits() ? caption + u'*' : caption);
}

void TForm2::updateTopicCommands()
{
    QTreeWidgetItem* node = TreeView1->currentItem();
    const int row = TreeView1->indexOfTopLevelItem(node);
    const bool topic = TopicIndex(node) >= 0;
    Rename1->setEnabled(topic);
    Delete1->setEnabled(node != nullptr);
    MoveUp1->setEnabled(topic && row > 0 && TopicIndex(TreeView1->topLevelItem(row - 1)) >= 0);
    MoveDown1->setEnabled(topic && row + 1 < TreeView1->topLevelItemCount() &&
                          TopicIndex(TreeView1->topLevelItem(row + 1)) >= 0);
    LoadText1->setEnabled(topic);
    Append1->setEnabled(project_.IsOpen());
}

std::string TForm2::EditorText(size_t* missing) const
{
    // The editor's paragraphs, whatever its width: a long line the editor
    // wraps on the screen is still one line of the text.
    std::vector<std::string> lines;
    size_t lacking = 0;
    for (QTextBlock b = RxRichEdit1->document()->begin(); b.isValid(); b = b.next()) {
        size_t m = 0;
        const QStringList parts = b.text().split(QChar::LineSeparator);
        for (const QString& part : parts) {
            lines.push_back(textToAnsi(part, &m));
            lacking += m;
        }
    }
    if (missing)
        *missing = lacking;
    return JoinLines(lines);
}

bool TForm2::commitEditor()
{
    const int index = TopicIndex(editorNode_);
    if (index < 0)
        return true;
    size_t missing = 0;
    const std::string text = EditorText(&missing);
    try {
        project_.CommitText(static_cast<size_t>(index), text);
    } catch (const std::exception& e) {
        ShowException(e, this);
        return false;
    }
    RxRichEdit1->document()->setModified(false);
    if (missing > 0)
        showStatus(QStringLiteral("%1 character(s) that Windows-1251 lacks were stored as \"?\".")
                       .arg(missing));
    return true;
}

void TForm2::Button2Click()
{
    // Only what the editor shows for the selected topic is stored.
    if (!editorNode_ || editorNode_ != TreeView1->currentItem())
        return;
    commitEditor();
}

QString TForm2::fileText(const QString& path, size_t* cutAt) const
{
    const std::string bytes = readWholeFile(path);
    TDetection found;
    const bool detect = CheckBox1->isChecked();
    const std::string text = LoadedText(bytes, detect, &found);
    if (cutAt)
        *cutAt = LoadedTextCut(bytes, detect ? &found : nullptr);
    std::vector<std::string> paragraphs = SplitParagraphs(text);
    QString shown;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i)
            shown += u'\n';
        shown += ansiToText(paragraphs[i]);
    }
    return shown;
}

void TForm2::Button1Click()
{
    if (!editorNode_ || editorNode_ != TreeView1->currentItem() || !SettleEdits())
        return;
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return;
    QString shown;
    size_t cutAt = std::string::npos;
    try {
        shown = fileText(OpenDialog1->selectedFiles().first(), &cutAt);
    } catch (const std::exception& e) {
        ShowException(e, this);
        return;
    }
    RxRichEdit1->setPlainText(shown);
    // Not stored until the commit below succeeds.
    RxRichEdit1->document()->setModified(true);
    Button2Click();
    // The text ends at its first NUL byte; the user is told so.
    if (cutAt != std::string::npos)
        showStatus(QString::fromStdString(NulCutNote(cutAt)));
}

void TForm2::FontClick()
{
    if (project_.IsOpen())
        ChooseFont(fontTarget(*this));
}

void TForm2::Usecustomfont1Click()
{
    if (project_.IsOpen())
        SwitchCustomFont(fontTarget(*this));
}

void TForm2::Pack1Click()
{
    if (!project_.IsOpen() || !SettleEdits())
        return;
    tree_->quiet = true;
    TreeView1->setCurrentItem(nullptr);
    TreeView1->clear();
    tree_->quiet = false;
    TreeView1Change(nullptr);
    try {
        project_.Pack(); // closes, packs and opens again, also after a failure
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
    if (project_.IsOpen())
        fillTree();
    updateTopicCommands();
}

void TForm2::GenerateJAVA1Click()
{
    if (!project_.IsOpen() || !SettleEdits())
        return;
    auto* frame = qobject_cast<QMainWindow*>(window());
    GenerateMidlet(project_, CurrentFontSettings(fontTarget(*this)), frame ? frame->statusBar() : nullptr, this);
}

void TForm2::OpenBookFolder1Click()
{
    if (!project_.IsOpen())
        return;
    const QString folder = QFile::decodeName(BookFolder(project_.Path()).c_str());
    if (!QFileInfo(folder).isDir()) {
        ShowErrorMessage(QStringLiteral("%1: there is no book folder yet (\"&Generate JAVA middlet\" makes it)")
                             .arg(folder),
                         this);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        ShowErrorMessage(QStringLiteral("%1: no file manager could be started").arg(folder), this);
}

void TForm2::Rename1Click()
{
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (TopicIndex(node) >= 0)
        tree_->editName(node, node->text(0));
}

bool TForm2::RenameTopic(QTreeWidgetItem* node, const QString& name)
{
    const int index = TopicIndex(node);
    if (index < 0)
        return false;
    const std::optional<std::string> bytes = textToAnsiExact(name);
    if (!bytes) {
        // Once the name editor has closed: the message, then the editor
        // again with what was typed, for correction.
        QMetaObject::invokeMethod(
            this,
            [this, node, name] {
                ShowErrorMessage(lackingMessage(QStringLiteral("The topic name"), name), this);
                for (int i = 0; i < TreeView1->topLevelItemCount(); ++i)
                    if (TreeView1->topLevelItem(i) == node)
                        tree_->editName(node, name);
            },
            Qt::QueuedConnection);
        return false;
    }
    try {
        project_.RenameTopic(static_cast<size_t>(index), *bytes);
    } catch (const std::exception& e) {
        ShowException(e, this);
        return false;
    }
    node->setText(0, name);
    return true;
}

bool TForm2::MoveTopic(int from, int to)
{
    const int n = TreeView1->topLevelItemCount();
    if (from < 0 || to < 0 || from >= n || to >= n || from == to || !project_.IsOpen())
        return false;
    QTreeWidgetItem* node = TreeView1->topLevelItem(from);
    const int fromIndex = TopicIndex(node);
    const int toIndex = TopicIndex(TreeView1->topLevelItem(to));
    if (fromIndex < 0 || toIndex < 0)
        return false;
    // The topics keep their nodes; the nodes between take new numbers.
    const int lo = std::min(from, to), hi = std::max(from, to);
    std::vector<std::pair<QTreeWidgetItem*, const TJSDataItem*>> moved;
    for (int r = lo; r <= hi; ++r) {
        QTreeWidgetItem* x = TreeView1->topLevelItem(r);
        const int i = TopicIndex(x);
        if (i >= 0)
            moved.emplace_back(x, project_.Topic(static_cast<size_t>(i)).Item.get());
    }
    try {
        project_.MoveTopic(static_cast<size_t>(fromIndex), static_cast<size_t>(toIndex));
    } catch (const std::exception& e) {
        ShowException(e, this);
        return false;
    }
    for (auto& [x, item] : moved)
        for (size_t i = 0; i < project_.TopicCount(); ++i)
            if (project_.Topic(i).Item.get() == item)
                x->setData(0, kNumberRole, project_.Topic(i).Number);
    const bool wasCurrent = TreeView1->currentItem() == node;
    QTreeWidgetItem* current = TreeView1->currentItem();
    tree_->quiet = true;
    TreeView1->takeTopLevelItem(from);
    TreeView1->insertTopLevelItem(to, node);
    TreeView1->setCurrentItem(wasCurrent ? node : current);
    tree_->quiet = false;
    TreeView1->scrollToItem(node);
    updateTopicCommands();
    return true;
}

void TForm2::DropFiles(const QStringList& paths)
{
    if (!project_.IsOpen())
        return;
    QStringList texts, books;
    for (const QString& p : paths) {
        if (p.endsWith(QStringLiteral(".volm"), Qt::CaseInsensitive)) {
            if (auto* frame = qobject_cast<TForm1*>(window()))
                frame->OpenOrCreateProject(p);
        } else if (IsBookFileName(p)) {
            books << p; // shown chapter by chapter before anything is appended
        } else {
            texts << p;
        }
    }
    if ((texts.isEmpty() && books.isEmpty()) || !SettleEdits())
        return;
    for (const QString& p : books)
        ImportBook1Click(p);
    // Each text file becomes a topic named after the file, its text loaded
    // as "L&oad..." loads it; the first failure stops, what came before stays.
    for (const QString& p : texts) {
        const QString name = QFileInfo(p).completeBaseName();
        const std::optional<std::string> bytes = textToAnsiExact(name);
        if (!bytes) {
            ShowErrorMessage(QStringLiteral("%1: %2").arg(p, lackingMessage(QStringLiteral("the topic name"), name)),
                             this);
            break;
        }
        std::string text;
        try {
            text = LoadedText(readWholeFile(p), CheckBox1->isChecked());
            appendTopic(*bytes);
            const int index = TopicIndex(TreeView1->currentItem());
            if (index >= 0)
                project_.CommitText(static_cast<size_t>(index), text);
        } catch (const std::exception& e) {
            ShowException(e, this);
            break;
        }
        showTopic(TreeView1->currentItem());
    }
    updateTopicCommands();
}

void TForm2::showStatus(const QString& text)
{
    if (auto* frame = qobject_cast<QMainWindow*>(window()))
        frame->statusBar()->showMessage(text);
}

void TForm2::closeProject()
{
    if (!project_.IsOpen())
        return;
    tree_->quiet = true;
    TreeView1->setCurrentItem(nullptr);
    TreeView1->clear();
    tree_->quiet = false;
    editorNode_ = nullptr;
    try {
        project_.CloseProject();
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
}

void TForm2::closeEvent(QCloseEvent* e)
{
    // Closing asks only about typed text that was not committed.
    if (!SettleEdits()) {
        e->ignore();
        return;
    }
    closeProject();
    e->accept();
}

} // namespace volm::ui
