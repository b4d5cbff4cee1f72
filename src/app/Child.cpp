#include "app/Child.h"

#include "app/Ansitext.h"
#include "app/Bookdialog.h"
#include "app/Editortext.h"
#include "app/Errorbox.h"
#include "app/Filedialogs.h"
#include "app/Fontcommands.h"
#include "app/Fontdialog.h"
#include "app/Generate.h"
#include "app/Phonepreview.h"
#include "app/Senddialog.h"
#include "app/Topictree.h"
#include "book/Manifest.h"
#include "storage/Cfbfile.h"
#include "storage/Doc.h"
#include "storage/Pack.h"
#include "storage/Storageerror.h"
#include "text/Textlines.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
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

QFileDialog* textDialog(QWidget* parent, const QString& title, const char* name)
{
    return NewFileDialog(parent, title, name, TFileWanted::Existing, {QStringLiteral("*.txt"), QStringLiteral("*.*")},
                         QStringLiteral("txt"));
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
    if (const auto* s = dynamic_cast<const EStorageError*>(&e); s && s->status() == STG_E_SHAREVIOLATION)
        return QStringLiteral("%1: the project is already open in another window or program; close it there, "
                              "or use that window")
            .arg(path);
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

// The message that refuses a list whose names Windows-1251 can't hold.
QString refusedListMessage(const QString& file, const std::vector<TRefusedName>& refused)
{
    QStringList lines;
    for (const TRefusedName& r : refused) {
        QStringList chars;
        for (const std::string& c : r.characters)
            chars << u'"' + QString::fromStdString(c) + u'"';
        lines << QStringLiteral("line %1 \"%2\": %3").arg(r.line).arg(QString::fromStdString(r.text),
                                                           chars.join(QStringLiteral(", ")));
    }
    return QStringLiteral("%1: no topics were added; these names have characters that Windows-1251 lacks:\n%2")
        .arg(file, lines.join(u'\n'));
}

} // namespace

TForm2::TForm2(QWidget* parent) : TProjectWindow(parent), commands_(project_, this)
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
    // "Dele&te": Alt+D opens the "&Document" menu, Alt+E the "&Edit" menu.
    BitBtn2 = button(GroupBox3, "BitBtn2", QStringLiteral("Dele&te"),
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

    DocumentMenu = new QMenu(QStringLiteral("&Document"), this);
    DocumentMenu->setObjectName(QStringLiteral("DocumentMenu"));
    DocumentMenu->setToolTipsVisible(true);
    ChooseFontAction = command(this, QStringLiteral("&Font"), QStringLiteral("Allow to choose font for text in mobile."));
    Usecustomfont1 = command(this, QStringLiteral("&Use custom font"),
                             QStringLiteral("Allows to put in JAVA package newly selected custom font."));
    Usecustomfont1->setCheckable(true);
    Pack1 = command(this, QStringLiteral("&Pack"),
                    QStringLiteral("Allows to minimize size of current document (used if was a lot of deletions)"));
    GenerateJAVA1 = command(this, QStringLiteral("&Generate JAVA middlet"),
                            QStringLiteral("Starts generation of MIDDLET for current document"));
    OpenBookFolderAction = command(this, QStringLiteral("Open &book folder"),
                              QStringLiteral("Opens the folder of the generated jar and jad with the desktop's file "
                                             "manager"));
    DocumentMenu->addAction(ChooseFontAction);
    DocumentMenu->addAction(Usecustomfont1);
    DocumentMenu->addSeparator();
    DocumentMenu->addAction(Pack1);
    SaveCopyAction = command(this, QStringLiteral("Save a &copy as..."),
                             QStringLiteral("Writes the topics and settings that can be read into a new project file"));
    DocumentMenu->addAction(SaveCopyAction);
    SaveCopyDialog = NewFileDialog(this, QStringLiteral("Save a copy as"), "SaveCopyDialog", TFileWanted::AnyName,
                                   {QStringLiteral("*.volm"), QStringLiteral("*.*")}, QStringLiteral("volm"));
    DocumentMenu->addAction(GenerateJAVA1);
    DocumentMenu->addAction(OpenBookFolderAction);
    SendToPhoneAction = command(this, QStringLiteral("&Send to phone..."),
                                QStringLiteral("Serves the book's jad and jar to phones on this computer's network "
                                               "and shows the address to open on the phone"));
    DocumentMenu->addAction(SendToPhoneAction);
    FontDialog1 = new TFontDialog(this);

    // The topic list's commands: the context menu, and keys while the list has the focus.
    AppendAction = command(this, QStringLiteral("&Append"),
                      QStringLiteral("Append topic with entered name to list"));
    RenameAction = command(this, QStringLiteral("&Rename"), QStringLiteral("Rename the selected topic"),
                      QKeySequence(Qt::Key_F2));
    DeleteAction = command(this, QStringLiteral("&Delete"), QStringLiteral("Delete selected item (Ctrl+Z restores it)"),
                      QKeySequence(QKeySequence::Delete));
    MoveUpAction = command(this, QStringLiteral("Move &up"), QStringLiteral("Move the selected topic up the list"),
                      QKeySequence(Qt::ALT | Qt::Key_Up));
    MoveDownAction = command(this, QStringLiteral("Move do&wn"), QStringLiteral("Move the selected topic down the list"),
                        QKeySequence(Qt::ALT | Qt::Key_Down));
    LoadTextAction = command(this, QStringLiteral("&Load text..."), QStringLiteral("Load text file"));
    for (QAction* a : {RenameAction, DeleteAction, MoveUpAction, MoveDownAction}) {
        a->setShortcutContext(Qt::WidgetShortcut);
        TreeView1->addAction(a);
    }
    TopicMenu = new QMenu(this);
    TopicMenu->setObjectName(QStringLiteral("TopicMenu"));
    TopicMenu->setToolTipsVisible(true);
    TopicMenu->addAction(AppendAction);
    TopicMenu->addAction(RenameAction);
    TopicMenu->addAction(DeleteAction);
    TopicMenu->addSeparator();
    TopicMenu->addAction(MoveUpAction);
    TopicMenu->addAction(MoveDownAction);
    TopicMenu->addSeparator();
    TopicMenu->addAction(LoadTextAction);
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    CommitAction = command(this, QStringLiteral("&Commit"), Button2->statusTip(), QKeySequence::Save);
    CommitAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(CommitAction);
    text_ = new TEditorText(RxRichEdit1, commands_, this);
    // The phone's page beside the editor.
    PreviewPane = new TPhonePreview(project_, RxRichEdit1, *text_, [this] { return path_; }, RxSplitter2);
    RxSplitter2->addWidget(PreviewPane);
    addAction(PreviewPane->PreviewAction);
    editor_->fileText = [this](const QString& path) {
        std::string note;
        const QString text = TEditorText::FileText(path, CheckBox1->isChecked(), &note);
        if (!note.empty())
            showStatus(QString::fromStdString(note));
        return text;
    };

    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm2::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm2::BitBtn3Click);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Pack1, &QAction::triggered, this, &TForm2::Pack1Click);
    connect(SaveCopyAction, &QAction::triggered, this, &TForm2::SaveCopyClick);
    connect(ChooseFontAction, &QAction::triggered, this, &TForm2::FontClick);
    connect(Usecustomfont1, &QAction::triggered, this, &TForm2::Usecustomfont1Click);
    connect(GenerateJAVA1, &QAction::triggered, this, &TForm2::GenerateJAVA1Click);
    connect(OpenBookFolderAction, &QAction::triggered, this, &TForm2::OpenBookFolder);
    connect(SendToPhoneAction, &QAction::triggered, this, &TForm2::SendToPhone);
    connect(DocumentMenu, &QMenu::aboutToShow, this, [this] {
        OpenBookFolderAction->setEnabled(project_.IsOpen() &&
                                    QFileInfo(QFile::decodeName(
                                                  BookFolder(project_.Path(), project_.OutputFolder()).c_str()))
                                        .isDir());
        SendToPhoneAction->setEnabled(OpenBookFolderAction->isEnabled());
    });
    // Not while the window rearranges its nodes under a QSignalBlocker.
    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { TreeView1Change(current); });
    tree_->mayLeave = [this](QTreeWidgetItem* to) { return (to && to == EditorNode()) || SettleEdits(); };
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
    connect(AppendAction, &QAction::triggered, this, [this] {
        if (Edit1->text().isEmpty())
            Edit1->setFocus(); // type the name there
        else
            BitBtn1Click();
    });
    connect(RenameAction, &QAction::triggered, this, &TForm2::RenameSelected);
    connect(DeleteAction, &QAction::triggered, this, &TForm2::BitBtn2Click);
    connect(MoveUpAction, &QAction::triggered, this, [this] {
        const int row = TreeView1->indexOfTopLevelItem(TreeView1->currentItem());
        if (row > 0)
            MoveTopic(row, row - 1);
    });
    connect(MoveDownAction, &QAction::triggered, this, [this] {
        const int row = TreeView1->indexOfTopLevelItem(TreeView1->currentItem());
        if (row >= 0 && row + 1 < TreeView1->topLevelItemCount())
            MoveTopic(row, row + 1);
    });
    connect(LoadTextAction, &QAction::triggered, this, &TForm2::Button1Click);
    connect(CommitAction, &QAction::triggered, this, &TForm2::Button2Click);
    connect(text_, &TEditorText::modifiedChanged, this, [this](bool modified) {
        updateCaption();
        emit editsChanged(modified);
    });
    connect(text_, &TEditorText::remark, this, &TForm2::showStatus);
    updateTopicCommands();
    // Whole books (Bookdialog): the menu command and the list's context menu;
    // book files dropped on the list come through DropFiles.
    DocumentMenu->addSeparator();
    ImportBookAction = DocumentMenu->addAction(QStringLiteral("&Import book..."));
    ImportBookAction->setStatusTip(
        QStringLiteral("Appends a book file (FB2, EPUB, HTML, Markdown, text) as one topic per chapter"));
    connect(ImportBookAction, &QAction::triggered, this, [this] { ImportBook(); });
    TopicMenu->addSeparator();
    TopicMenu->addAction(ImportBookAction);
}

TForm2::~TForm2()
{
    closeProject();
}

TFontCommandTarget TForm2::fontTarget()
{
    TFontCommandTarget t;
    t.FontDialog1 = FontDialog1;
    t.Usecustomfont1 = Usecustomfont1;
    t.Editor = RxRichEdit1;
    t.SaveFontSettings = [this](const TFontSettings& s) { project_.SaveFontSettings(s); };
    t.parent = this;
    return t;
}

template <class F>
bool TForm2::run(F&& command)
{
    try {
        command();
    } catch (const std::exception& e) {
        ShowException(e, this);
        return false;
    }
    return true;
}

// --- the list and the project ------------------------------------------------

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

QTreeWidgetItem* TForm2::topicNode(size_t index) const
{
    size_t k = 0;
    for (int r = 0; r < TreeView1->topLevelItemCount(); ++r) {
        QTreeWidgetItem* node = TreeView1->topLevelItem(r);
        if (NodeNumber(node) != 0 && k++ == index)
            return node;
    }
    return nullptr;
}

QTreeWidgetItem* TForm2::EditorNode() const
{
    const std::optional<size_t> index = text_->TopicIndex();
    return index ? topicNode(*index) : nullptr;
}

bool TForm2::editorShowsSelection() const
{
    QTreeWidgetItem* node = EditorNode();
    return node && node == TreeView1->currentItem();
}

QTreeWidgetItem* TForm2::appendNode(const std::string& name, int32_t number)
{
    QTreeWidgetItem* node = newNode(ansiToText(name));
    node->setData(0, kNumberRole, number);
    TreeView1->addTopLevelItem(node);
    return node;
}

void TForm2::fillTree()
{
    QList<QTreeWidgetItem*> nodes;
    nodes.reserve(static_cast<qsizetype>(project_.TopicCount()));
    for (size_t i = 0; i < project_.TopicCount(); ++i) {
        const TTopicNode& t = project_.Topic(i);
        QTreeWidgetItem* node = newNode(ansiToText(t.Name));
        node->setData(0, kNumberRole, t.Number);
        nodes.append(node);
    }
    TreeView1->addTopLevelItems(nodes);
    updateTopicCommands();
}

void TForm2::deselect()
{
    {
        const QSignalBlocker quiet(TreeView1);
        TreeView1->setCurrentItem(nullptr);
        TreeView1->clearSelection();
    }
    TreeView1Change(nullptr);
}

void TForm2::clearTree()
{
    {
        const QSignalBlocker quiet(TreeView1);
        TreeView1->setCurrentItem(nullptr);
        TreeView1->clear();
    }
    TreeView1Change(nullptr);
}

void TForm2::TopicAppended(size_t index)
{
    // The new node is selected: the editor shows its topic's text.
    QTreeWidgetItem* node = appendNode(project_.Topic(index).Name, project_.Topic(index).Number);
    TreeView1->setCurrentItem(node);
}

void TForm2::TopicAppendFailed(const std::string& name)
{
    // The node stays, without a topic, until the project is opened again.
    TreeView1->setCurrentItem(appendNode(name, 0));
}

void TForm2::TopicDeleted(size_t index)
{
    QTreeWidgetItem* node = topicNode(index);
    if (node && node == TreeView1->currentItem())
        deselect();
    delete node;
    text_->TopicDeleted();
    updateTopicCommands();
}

void TForm2::TopicMoved(size_t from, size_t to)
{
    // The node goes where the node of the topic at `to` stood; the topics
    // between keep their nodes, which take their new storage numbers.
    QTreeWidgetItem* node = topicNode(from);
    QTreeWidgetItem* target = topicNode(to);
    if (!node || !target)
        return;
    const int row = TreeView1->indexOfTopLevelItem(target);
    QTreeWidgetItem* current = TreeView1->currentItem();
    {
        const QSignalBlocker quiet(TreeView1);
        TreeView1->takeTopLevelItem(TreeView1->indexOfTopLevelItem(node));
        TreeView1->insertTopLevelItem(row, node);
        TreeView1->setCurrentItem(current);
    }
    for (size_t i = std::min(from, to); i <= std::max(from, to); ++i)
        if (QTreeWidgetItem* n = topicNode(i))
            n->setData(0, kNumberRole, project_.Topic(i).Number);
    TreeView1->scrollToItem(node);
    updateTopicCommands();
}

void TForm2::TopicRenamed(size_t index)
{
    if (QTreeWidgetItem* node = topicNode(index))
        node->setText(0, ansiToText(project_.Topic(index).Name));
}

void TForm2::TopicTextChanged(size_t index)
{
    text_->TopicTextChanged(index);
}

void TForm2::ChangeRecorded(const std::string& what)
{
    const bool deleted = what.size() > 8 && what.compare(what.size() - 8, 8, " deleted") == 0;
    QString said = ansiToText(what) +
                   (deleted ? QStringLiteral(". Ctrl+Z restores it.") : QStringLiteral(". Ctrl+Z undoes it."));
    // Names are stored cut to their first 50 bytes: the user hears of it.
    std::vector<std::string> cut;
    for (const TTopicStep& step : commands_.History().NextUndo().steps)
        if ((step.kind == TTopicStep::skInsert || step.kind == TTopicStep::skRename) &&
            step.name.size() > kItemNameSize)
            cut.push_back(step.name.substr(0, kItemNameSize));
    if (cut.size() == 1)
        said += QStringLiteral(" The name is longer than %1 bytes and is stored cut: \"%2\".")
                    .arg(kItemNameSize)
                    .arg(ansiToText(cut[0]));
    else if (cut.size() > 1)
        said += QStringLiteral(" %1 names were longer than %2 bytes and are stored cut.").arg(cut.size()).arg(kItemNameSize);
    showStatus(said);
}

// --- finding -----------------------------------------------------------------------

namespace {
constexpr int kTopicRole = Qt::UserRole, kAtRole = Qt::UserRole + 1;
constexpr int kMostMatches = 1000;
} // namespace

void TForm2::FindText(bool everyTopic)
{
    if (!project_.IsOpen())
        return;
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, everyTopic ? QStringLiteral("Find in all topics") : QStringLiteral("Find in the topic"),
        QStringLiteral("Find:"), QLineEdit::Normal, lastFind_, &ok);
    if (!ok || text.isEmpty())
        return;
    lastFind_ = text;
    if (everyTopic || !editorShowsSelection())
        FindInAllTopics(text);
    else
        FindInTopic(text);
}

bool TForm2::FindInTopic(const QString& text)
{
    if (!editorShowsSelection() || text.isEmpty())
        return false;
    lastFind_ = text;
    if (RxRichEdit1->find(text)) {
        RxRichEdit1->setFocus();
        return true;
    }
    // Once more from the start.
    const QTextCursor before = RxRichEdit1->textCursor();
    RxRichEdit1->moveCursor(QTextCursor::Start);
    if (RxRichEdit1->find(text)) {
        RxRichEdit1->setFocus();
        showStatus(QStringLiteral("\"%1\" found again from the start of the topic.").arg(text));
        return true;
    }
    RxRichEdit1->setTextCursor(before);
    showStatus(QStringLiteral("\"%1\" is not in the topic \"%2\".").arg(text, EditorNode()->text(0)));
    return false;
}

int TForm2::FindInAllTopics(const QString& text)
{
    if (!project_.IsOpen() || text.isEmpty())
        return 0;
    lastFind_ = text;
    if (!FindResults) {
        FindResults = new QDialog(this);
        FindResults->setObjectName(QStringLiteral("FindResults"));
        FindList = new QTreeWidget(FindResults);
        FindList->setObjectName(QStringLiteral("FindList"));
        FindList->setHeaderLabels({QStringLiteral("Topic"), QStringLiteral("Line"), QStringLiteral("Text")});
        FindList->setRootIsDecorated(false);
        FindList->setUniformRowHeights(true);
        auto* l = new QVBoxLayout(FindResults);
        l->addWidget(FindList);
        FindResults->resize(560, 300);
        connect(FindList, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
            GoToPlace(item->data(0, kTopicRole).toULongLong(), item->data(0, kAtRole).toInt(), lastFind_.size());
        });
    }
    FindList->clear();
    const std::optional<size_t> editing = text_->TopicIndex();
    QList<QTreeWidgetItem*> items;
    for (size_t i = 0; i < project_.TopicCount() && items.size() < kMostMatches; ++i) {
        QString body;
        if (editing == i) {
            body = RxRichEdit1->toPlainText();
        } else {
            try {
                body = ansiToText(project_.GetText(i));
            } catch (const std::exception&) {
                continue; // a topic that can't be read has no match to show
            }
            body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        }
        for (qsizetype at = body.indexOf(text, 0, Qt::CaseInsensitive); at >= 0 && items.size() < kMostMatches;
             at = body.indexOf(text, at + text.size(), Qt::CaseInsensitive)) {
            const qsizetype start = body.lastIndexOf(u'\n', at) + 1;
            qsizetype end = body.indexOf(u'\n', at);
            if (end < 0)
                end = body.size();
            // The line around the match, at most some 80 characters of it.
            const qsizetype from = std::max(start, at - 30);
            QString context = body.mid(from, std::min<qsizetype>(end - from, 80)).trimmed();
            if (from > start)
                context.prepend(QStringLiteral("..."));
            auto* item = new QTreeWidgetItem(QStringList{ansiToText(project_.Topic(i).Name),
                                                         QString::number(body.left(at).count(u'\n') + 1), context});
            item->setData(0, kTopicRole, static_cast<qulonglong>(i));
            item->setData(0, kAtRole, static_cast<int>(at));
            items << item;
        }
    }
    FindList->addTopLevelItems(items);
    FindList->resizeColumnToContents(0);
    FindResults->setWindowTitle(QStringLiteral("\"%1\": %2").arg(text).arg(
        items.size() == 1 ? QStringLiteral("1 place") : QStringLiteral("%1 places").arg(items.size())));
    if (items.isEmpty()) {
        FindResults->hide();
        showStatus(QStringLiteral("\"%1\" is in no topic.").arg(text));
        return 0;
    }
    FindResults->show();
    FindResults->raise();
    FindList->setCurrentItem(items.front());
    FindList->setFocus();
    return static_cast<int>(items.size());
}

void TForm2::GoToPlace(size_t index, int at, int length)
{
    QTreeWidgetItem* node = topicNode(index);
    if (!node)
        return;
    if (node != TreeView1->currentItem())
        TreeView1->setCurrentItem(node); // asks about typed text first
    if (TreeView1->currentItem() != node || !editorShowsSelection())
        return;
    QTextCursor c(RxRichEdit1->document());
    c.setPosition(std::min(at, RxRichEdit1->document()->characterCount() - 1));
    c.setPosition(std::min(at + length, RxRichEdit1->document()->characterCount() - 1), QTextCursor::KeepAnchor);
    RxRichEdit1->setTextCursor(c);
    RxRichEdit1->ensureCursorVisible();
    RxRichEdit1->setFocus();
}

// --- undo and redo ---------------------------------------------------------------

void TForm2::UndoChange()
{
    replayChange(true);
}

void TForm2::RedoChange()
{
    replayChange(false);
}

QString TForm2::UndoDescription() const
{
    return commands_.CanUndo() ? ansiToText(commands_.History().NextUndo().what) : QString();
}

QString TForm2::RedoDescription() const
{
    return commands_.CanRedo() ? ansiToText(commands_.History().NextRedo().what) : QString();
}

void TForm2::replayChange(bool undo)
{
    if (!project_.IsOpen() || readOnly())
        return; // a read-only project has no changes to undo
    // The editor and the name field keep their own typing history.
    if (RxRichEdit1->hasFocus() && !RxRichEdit1->isReadOnly()) {
        undo ? RxRichEdit1->undo() : RxRichEdit1->redo();
        return;
    }
    if (Edit1->hasFocus()) {
        undo ? Edit1->undo() : Edit1->redo();
        return;
    }
    if (!(undo ? commands_.CanUndo() : commands_.CanRedo())) {
        showStatus(undo ? QStringLiteral("Nothing to undo.") : QStringLiteral("Nothing to redo."));
        return;
    }
    // Typed text is settled first: the change may replace what the editor shows.
    if (!SettleEdits())
        return;
    std::string what;
    if (!run([&] { what = undo ? commands_.Undo() : commands_.Redo(); })) {
        updateTopicCommands();
        return;
    }
    updateTopicCommands();
    showStatus(undo ? QStringLiteral("Undone: %1. Ctrl+Shift+Z makes it again.").arg(ansiToText(what))
                    : QStringLiteral("Made again: %1. Ctrl+Z undoes it.").arg(ansiToText(what)));
}

// --- opening and closing -------------------------------------------------------

bool TForm2::OpenProject(const QString& path)
{
    if (project_.IsOpen())
        return false;
    openFailure_.clear();
    try {
        // A file that can't be written, or can only be read, opens read only.
        readOnlyCause_ = fromMessage(project_.OpenWritableOrReadOnly(pathBytes(path)));
        path_ = path;
        updateCaption();
        RestoreFontSettings(fontTarget(), project_.FontSettings());
        fillTree();
        if (readOnly()) {
            tree_->setDragEnabled(false);
            TreeView1->setFocus();
            showStatus(QStringLiteral("Opened read only: %1. \"Save a copy as...\" makes a project that can be "
                                      "changed.")
                           .arg(readOnlyCause_));
        } else {
            Edit1->setFocus(); // ready for the first topic's name
        }
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

void TForm2::closeProject()
{
    if (!project_.IsOpen())
        return;
    {
        // The window is going: nobody hears of the list or the editor emptied.
        const QSignalBlocker quietList(TreeView1);
        const QSignalBlocker quietText(text_);
        TreeView1->setCurrentItem(nullptr);
        TreeView1->clear();
        text_->Show(std::nullopt);
    }
    // After a write that failed (and was shown) the file refuses to commit:
    // saying so once more would only repeat it.
    const bool failed = project_.Document() && project_.Document()->File().writeFailed();
    try {
        project_.CloseProject();
    } catch (const std::exception& e) {
        if (!failed)
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

// --- the editor ------------------------------------------------------------------

bool TForm2::HasUncommittedEdits() const
{
    return text_->Modified();
}

bool TForm2::SettleEdits()
{
    return text_->Settle();
}

QList<QAction*> TForm2::ViewActions() const
{
    return {PreviewPane->PreviewAction};
}

int TForm2::ExtraWidth() const
{
    return PreviewPane->PreviewAction->isChecked() ? PreviewPane->sizeHint().width() : 0;
}

void TForm2::TreeView1Change(QTreeWidgetItem* node)
{
    PageControl1->setVisible(node != nullptr);
    if (!node || node != EditorNode()) { // the editor's own node keeps what was typed
        const int index = TopicIndex(node);
        text_->Show(index >= 0 ? std::optional<size_t>(static_cast<size_t>(index)) : std::nullopt);
    }
    updateTopicCommands();
}

void TForm2::Button1Click()
{
    if (!editorShowsSelection() || readOnly() || !SettleEdits())
        return;
    if (const QString file = ChooseFile(OpenDialog1); !file.isEmpty())
        text_->Load(file, CheckBox1->isChecked());
}

void TForm2::Button2Click()
{
    // Only what the editor shows for the selected topic is stored.
    if (editorShowsSelection() && !readOnly())
        text_->Commit();
}

void TForm2::updateCaption()
{
    if (path_.isEmpty())
        return;
    // The file's name (the path is the window's tooltip and in the "&Window"
    // menu); "[*]" in it is shown as it is, not as the toolkit's mark.
    QString caption = QFileInfo(path_).fileName();
    caption.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    if (readOnly())
        caption += QStringLiteral(" [read only]");
    setWindowTitle(HasUncommittedEdits() ? caption + u'*' : caption);
}

QString TForm2::statusText() const
{
    auto* frame = qobject_cast<QMainWindow*>(window());
    return frame ? frame->statusBar()->currentMessage() : QString();
}

void TForm2::showStatus(const QString& text)
{
    if (auto* frame = qobject_cast<QMainWindow*>(window()))
        frame->statusBar()->showMessage(text);
}

// --- the list's commands --------------------------------------------------------

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
    if (Edit1->text().isEmpty() || !project_.IsOpen() || readOnly())
        return;
    const std::optional<std::string> name = entryName();
    if (name && SettleEdits())
        run([&] { commands_.Append(*name); });
}

void TForm2::Edit1Enter()
{
    if (Edit1->text().isEmpty() || !project_.IsOpen())
        return;
    const size_t before = project_.TopicCount();
    BitBtn1Click();
    if (project_.TopicCount() > before)
        Edit1->clear(); // ready for the next name
}

void TForm2::BitBtn2Click()
{
    if (readOnly())
        return;
    // What the editor held goes with its topic: no question.
    RxRichEdit1->clear();
    QTreeWidgetItem* node = TreeView1->currentItem();
    const int index = TopicIndex(node);
    if (index >= 0) {
        run([&] { commands_.Delete(static_cast<size_t>(index)); });
    } else if (node) {
        deselect(); // a node without a topic: only the node goes
        delete node;
        updateTopicCommands();
    } else {
        text_->Show(std::nullopt);
    }
}

void TForm2::BitBtn3Click()
{
    if (!project_.IsOpen() || readOnly() || !SettleEdits())
        return;
    if (const QString file = ChooseFile(OpenDialog2); !file.isEmpty())
        appendList(file);
}

void TForm2::appendList(const QString& file)
{
    TListAppend done;
    TreeView1->setUpdatesEnabled(false);
    const bool read = run([&] { done = commands_.AppendList(pathBytes(file)); });
    TreeView1->setUpdatesEnabled(true);
    if (!read)
        return;
    if (!done.refused.empty()) {
        ShowMessageBox(QMessageBox::Critical, refusedListMessage(file, done.refused), this);
        return;
    }
    if (!done.failure.empty())
        // What was appended before the failing line stays.
        ShowErrorMessage(QStringLiteral("%1, line %2: %3 (the topics of the %4 lines before it were appended)")
                             .arg(file)
                             .arg(done.appended + done.skipped + 1)
                             .arg(fromMessage(done.failure))
                             .arg(done.appended),
                         this);
    if (QTreeWidgetItem* last = TreeView1->currentItem())
        TreeView1->scrollToItem(last);
    // After what the change said: the lines that made no topic, and a cut.
    QStringList notes;
    if (done.appended == 0 && done.failure.empty())
        notes << QStringLiteral("No topics appended.");
    if (done.skipped > 0)
        notes << (done.skipped == 1 ? QStringLiteral("1 empty line skipped.")
                                    : QStringLiteral("%1 empty lines skipped.").arg(done.skipped));
    if (done.cutAt != std::string::npos)
        notes << QString::fromStdString(NulCutNote(done.cutAt));
    if (!notes.isEmpty()) {
        const QString before = done.appended > 0 ? statusText() : QString();
        showStatus((before.isEmpty() ? QString() : before + u' ') + notes.join(u' '));
    }
}

void TForm2::RenameSelected()
{
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (TopicIndex(node) >= 0 && !readOnly())
        tree_->editName(node, node->text(0));
}

bool TForm2::RenameTopic(QTreeWidgetItem* node, const QString& name)
{
    const int index = TopicIndex(node);
    if (index < 0 || readOnly())
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
    return run([&] { commands_.Rename(static_cast<size_t>(index), *bytes); });
}

bool TForm2::MoveTopic(int from, int to)
{
    const int n = TreeView1->topLevelItemCount();
    if (from < 0 || to < 0 || from >= n || to >= n || from == to || !project_.IsOpen() || readOnly())
        return false;
    const int fromIndex = TopicIndex(TreeView1->topLevelItem(from));
    const int toIndex = TopicIndex(TreeView1->topLevelItem(to));
    return fromIndex >= 0 && toIndex >= 0 &&
           run([&] { commands_.Move(static_cast<size_t>(fromIndex), static_cast<size_t>(toIndex)); });
}

void TForm2::DropFiles(const QStringList& paths)
{
    if (!project_.IsOpen())
        return;
    QStringList texts, books;
    for (const QString& p : paths) {
        if (p.endsWith(QStringLiteral(".volm"), Qt::CaseInsensitive))
            emit projectFileDropped(p);
        else if (IsBookFileName(p))
            books << p; // shown chapter by chapter before anything is appended
        else
            texts << p;
    }
    if (texts.isEmpty() && books.isEmpty())
        return;
    if (readOnly()) {
        showStatus(QStringLiteral("The project is read only: no topics were added."));
        return;
    }
    if (!SettleEdits())
        return;
    for (const QString& p : books)
        ImportBook(p);
    appendTextFiles(texts);
}

void TForm2::appendTextFiles(const QStringList& files)
{
    // Each text file becomes a topic named after the file, its text loaded
    // as "L&oad..." loads it; the first failure stops, what came before stays.
    for (const QString& p : files) {
        const QString name = QFileInfo(p).completeBaseName();
        const std::optional<std::string> bytes = textToAnsiExact(name);
        if (!bytes) {
            ShowErrorMessage(QStringLiteral("%1: %2").arg(p, lackingMessage(QStringLiteral("the topic name"), name)),
                             this);
            return;
        }
        if (!run([&] { commands_.AppendTextFile(*bytes, pathBytes(p), CheckBox1->isChecked()); }))
            return;
    }
}

bool TForm2::TakeBook(const std::vector<TBookTopic>& topics, const std::string& title)
{
    if (!project_.IsOpen() || !SettleEdits())
        return false;
    if (readOnly()) {
        ShowErrorMessage(QStringLiteral("%1 is read only: the book can't be added to it.").arg(path_), this);
        return false;
    }
    return run([&] {
        commands_.AppendBook(topics);
        if (!title.empty() && TitleFault(title).empty())
            project_.SaveTitle(title);
    });
}

void TForm2::ImportBook(const QString& file)
{
    if (project_.IsOpen() && !readOnly() && SettleEdits())
        ImportBookDialog(this, commands_, file);
}

void TForm2::updateTopicCommands()
{
    QTreeWidgetItem* node = TreeView1->currentItem();
    const int row = TreeView1->indexOfTopLevelItem(node);
    const bool topic = TopicIndex(node) >= 0;
    RenameAction->setEnabled(topic);
    DeleteAction->setEnabled(node != nullptr);
    MoveUpAction->setEnabled(topic && row > 0 && TopicIndex(TreeView1->topLevelItem(row - 1)) >= 0);
    MoveDownAction->setEnabled(topic && row + 1 < TreeView1->topLevelItemCount() &&
                               TopicIndex(TreeView1->topLevelItem(row + 1)) >= 0);
    LoadTextAction->setEnabled(topic);
    AppendAction->setEnabled(project_.IsOpen());
    // A read-only project is only looked at: nothing that writes it is offered.
    const bool writable = !readOnly();
    for (QAction* a : {RenameAction, DeleteAction, MoveUpAction, MoveDownAction, LoadTextAction, AppendAction})
        a->setEnabled(a->isEnabled() && writable);
    for (QAction* a : {CommitAction, ChooseFontAction, Usecustomfont1, Pack1, ImportBookAction})
        if (a)
            a->setEnabled(writable);
    for (QWidget* c : std::initializer_list<QWidget*>{Edit1, BitBtn1, BitBtn2, BitBtn3, Button1, Button2})
        c->setEnabled(writable);
}

// --- the "&Document" menu ---------------------------------------------------------

void TForm2::FontClick()
{
    if (project_.IsOpen() && !readOnly())
        ChooseFont(fontTarget());
}

void TForm2::Usecustomfont1Click()
{
    if (project_.IsOpen() && !readOnly())
        SwitchCustomFont(fontTarget());
}

void TForm2::Pack1Click()
{
    if (!project_.IsOpen() || readOnly() || !SettleEdits())
        return;
    clearTree();
    run([this] { project_.Pack(); }); // closes, packs and opens again, also after a failure
    if (project_.IsOpen())
        fillTree();
    updateTopicCommands();
}

namespace {

// An element of the project file as the user knows it.
QString elementName(const std::string& name)
{
    int32_t number = 0;
    if (name == "0")
        return QStringLiteral("the font settings");
    if (ParseStorageNumber(name, number) && number >= 100)
        return QStringLiteral("topic %1").arg(number);
    return QStringLiteral("\"%1\"").arg(QString::fromStdString(name));
}

} // namespace

void TForm2::SaveCopyClick()
{
    if (!project_.IsOpen() || !SettleEdits())
        return;
    const QString file = ChooseFile(SaveCopyDialog);
    if (file.isEmpty())
        return;
    const bool exists = QFileInfo::exists(file);
    if (exists && !AskYesNo(QStringLiteral("%1 already exists.\nReplace it with the copy?").arg(file), false, this))
        return;
    TProjectCopy done;
    if (!run([&] { done = CopyProject(project_, pathBytes(file), exists); }))
        return;
    const QString topics = done.topics == 1 ? QStringLiteral("1 topic") : QStringLiteral("%1 topics").arg(done.topics);
    showStatus(QStringLiteral("Copy written to %1: %2.").arg(file, topics));
    if (!done.skipped.empty()) {
        QStringList names;
        for (const std::string& name : done.skipped)
            names << elementName(name);
        ShowMessageBox(QMessageBox::Warning,
                       QStringLiteral("%1: these parts of %2 could not be read and are not in the copy: %3.")
                           .arg(file, path_, names.join(QStringLiteral(", "))),
                       this);
    }
    if (AskYesNo(QStringLiteral("Open the copy %1 in a new window?").arg(file), true, this))
        emit projectFileDropped(file); // the main window opens it
}

void TForm2::GenerateJAVA1Click()
{
    if (!project_.IsOpen() || !SettleEdits())
        return;
    auto* frame = qobject_cast<QMainWindow*>(window());
    GenerateMidlet(project_, CurrentFontSettings(fontTarget()), frame ? frame->statusBar() : nullptr, this);
}

void TForm2::OpenBookFolder()
{
    if (!project_.IsOpen())
        return;
    const QString folder = QFile::decodeName(BookFolder(project_.Path(), project_.OutputFolder()).c_str());
    if (!QFileInfo(folder).isDir()) {
        ShowErrorMessage(QStringLiteral("%1: there is no book folder yet (\"&Generate JAVA middlet\" makes it)")
                             .arg(folder),
                         this);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        ShowErrorMessage(QStringLiteral("%1: no file manager could be started").arg(folder), this);
}

void TForm2::SendToPhone()
{
    if (!project_.IsOpen())
        return;
    const std::string folder = BookFolder(project_.Path(), project_.OutputFolder());
    if (!QFileInfo(QFile::decodeName(folder.c_str())).isDir()) {
        ShowErrorMessage(QStringLiteral("%1: there is no book folder yet (\"&Generate JAVA middlet\" makes it)")
                             .arg(QFile::decodeName(folder.c_str())),
                         this);
        return;
    }
    try {
        TSendDialog dialog(this, folder);
        dialog.exec();
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
}

} // namespace volm::ui
