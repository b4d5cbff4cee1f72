#include "app/Child.h"

#include "app/Bookdialog.h"
#include "app/Errorbox.h"
#include "app/Fontdialog.h"
#include "app/Generate.h"
#include "common/Codepage.h"
#include "common/Fileio.h"
#include "text/Detect.h"
#include "text/Textlines.h"
#include "storage/Pack.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
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
    return d;
}

QPushButton* button(QWidget* parent, const char* name, const QString& caption, const QString& hint)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setStatusTip(hint);
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

} // namespace

TForm2::TForm2(QWidget* parent) : TProjectWindow(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(636, 474);

    // Left: the topic list and the entry with its buttons.
    GroupBox2 = new QGroupBox(QStringLiteral("Add/select topic here"));
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    TreeView1 = new QTreeWidget;
    TreeView1->setObjectName(QStringLiteral("TreeView1"));
    TreeView1->setStatusTip(QStringLiteral("List of topics"));
    TreeView1->setHeaderHidden(true);
    TreeView1->setRootIsDecorated(false);
    TreeView1->setIndentation(19);
    TreeView1->setUniformRowHeights(true);
    TreeView1->setMouseTracking(true); // hot tracking
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers); // no rename
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
    Edit1->setMaxLength(50);
    BitBtn1 = button(GroupBox3, "BitBtn1", QStringLiteral("A&ppend"),
                     QStringLiteral("Append topic with entered name to list"));
    BitBtn2 = button(GroupBox3, "BitBtn2", QStringLiteral("&Delete"),
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
    RxSplitter3 = new QSplitter(Qt::Vertical);
    RxSplitter3->setObjectName(QStringLiteral("RxSplitter3"));
    RxSplitter3->setHandleWidth(3);
    RxSplitter3->addWidget(TreeView1);
    RxSplitter3->addWidget(GroupBox3);
    RxSplitter3->setSizes({282, 150});
    auto* g2 = new QVBoxLayout(GroupBox2);
    g2->setContentsMargins(2, 2, 2, 2);
    g2->addWidget(RxSplitter3);

    // Right: the editor pane, hidden until a topic is selected.
    PageControl1 = new QTabWidget;
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Text"));
    RxRichEdit1 = new QPlainTextEdit;
    RxRichEdit1->setObjectName(QStringLiteral("RxRichEdit1"));
    RxRichEdit1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    RxRichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RxRichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    mono.setPointSize(8);
    RxRichEdit1->setFont(mono);
    GroupBox1 = new QGroupBox;
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Button1 = new QPushButton(QStringLiteral("L&oad..."), GroupBox1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setStatusTip(QStringLiteral("Load text file"));
    CheckBox1 = new QCheckBox(QStringLiteral("Try to find valid code page for russian on load"), GroupBox1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setChecked(true);
    Button2 = new QPushButton(QStringLiteral("&Commit"), GroupBox1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setStatusTip(QStringLiteral("If you did manuall changes, click here to save it."));
    auto* g1 = new QVBoxLayout(GroupBox1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Button1);
    buttons->addStretch();
    buttons->addWidget(Button2);
    g1->addLayout(buttons);
    g1->addWidget(CheckBox1);
    RxSplitter1 = new QSplitter(Qt::Vertical);
    RxSplitter1->setObjectName(QStringLiteral("RxSplitter1"));
    RxSplitter1->setHandleWidth(3);
    RxSplitter1->addWidget(RxRichEdit1);
    RxSplitter1->addWidget(GroupBox1);
    RxSplitter1->setSizes({273, 80});
    RxSplitter1->setStretchFactor(0, 1);
    RxSplitter1->setCollapsible(0, false);
    auto* tab = new QVBoxLayout(TabSheet1);
    tab->setContentsMargins(0, 0, 0, 0);
    tab->addWidget(RxSplitter1);
    // The pane's place stays when it is hidden: the list keeps its width.
    auto* right = new QWidget;
    auto* rl = new QVBoxLayout(right);
    rl->setContentsMargins(0, 0, 0, 0);
    rl->addWidget(PageControl1);
    PageControl1->hide();

    RxSplitter2 = new QSplitter(Qt::Horizontal);
    RxSplitter2->setObjectName(QStringLiteral("RxSplitter2"));
    RxSplitter2->setHandleWidth(3);
    RxSplitter2->addWidget(GroupBox2);
    RxSplitter2->addWidget(right);
    RxSplitter2->setSizes({185, 451});
    RxSplitter2->setStretchFactor(1, 1);
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->addWidget(RxSplitter2);

    OpenDialog2 = textDialog(this, QStringLiteral("Select list of topics..."), "OpenDialog2");
    OpenDialog1 = textDialog(this, QStringLiteral("Select text to load into topic"), "OpenDialog1");

    Document1 = new QMenu(QStringLiteral("&Document"), this);
    Document1->setObjectName(QStringLiteral("Document1"));
    Font1 = Document1->addAction(QStringLiteral("&Font"));
    Font1->setStatusTip(QStringLiteral("Allow to choose font for text in mobile."));
    Usecustomfont1 = Document1->addAction(QStringLiteral("&Use custom font"));
    Usecustomfont1->setCheckable(true);
    Usecustomfont1->setStatusTip(QStringLiteral("Allows to put in JAVA package newly selected custom font."));
    Document1->addSeparator();
    Pack1 = Document1->addAction(QStringLiteral("&Pack"));
    Pack1->setStatusTip(
        QStringLiteral("Allows to minimize size of current document (used if was a lot of deletions)"));
    GenerateJAVA1 = Document1->addAction(QStringLiteral("&Generate JAVA middlet"));
    GenerateJAVA1->setStatusTip(QStringLiteral("Starts generation of MIDDLET for current document"));
    FontDialog1 = new TFontDialog(this);

    connect(BitBtn1, &QPushButton::clicked, this, &TForm2::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm2::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TForm2::BitBtn3Click);
    connect(Button1, &QPushButton::clicked, this, &TForm2::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm2::Button2Click);
    connect(Pack1, &QAction::triggered, this, &TForm2::Pack1Click);
    connect(Font1, &QAction::triggered, this, &TForm2::FontClick);
    connect(Usecustomfont1, &QAction::triggered, this, &TForm2::Usecustomfont1Click);
    connect(GenerateJAVA1, &QAction::triggered, this, &TForm2::GenerateJAVA1Click);
    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) { TreeView1Change(current); });

    // Whole books (Bookdialog): the menu command, the list's context menu and
    // book files dropped on the list.
    Document1->addSeparator();
    ImportBook1 = Document1->addAction(QStringLiteral("Import &book..."));
    ImportBook1->setStatusTip(
        QStringLiteral("Appends a book file (FB2, EPUB, HTML, Markdown, text) as one topic per chapter"));
    connect(ImportBook1, &QAction::triggered, this, [this] { ImportBook1Click(); });
    TreeView1->addAction(ImportBook1);
    TreeView1->setContextMenuPolicy(Qt::ActionsContextMenu);
    AcceptBookDrops(TreeView1, [this](const QString& file) { ImportBook1Click(file); });
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
    try {
        project_.Open(pathBytes(path));
        path_ = path;
        setWindowTitle(path);
        RestoreFontSettings(fontTarget(*this), project_.FontSettings());
        fillTree();
    } catch (const std::exception&) {
        // The window holds no file then; the caller reports the failure.
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
        auto* node = new QTreeWidgetItem(QStringList{ansiToText(t.Text)});
        node->setData(0, kNumberRole, t.Number);
        nodes.append(node);
    }
    TreeView1->addTopLevelItems(nodes);
}

QTreeWidgetItem* TForm2::appendNode(const std::string& name)
{
    auto* node = new QTreeWidgetItem(QStringList{ansiToText(name)});
    TreeView1->addTopLevelItem(node);
    TreeView1->setCurrentItem(node);
    return node;
}

void TForm2::appendTopic(const std::string& name)
{
    // The node comes first and is selected before it has its topic: the
    // editor pane shows, keeping what it held.
    QTreeWidgetItem* node = appendNode(name);
    const size_t index = project_.AddTopic(name);
    node->setData(0, kNumberRole, project_.Topic(index).Number);
}

void TForm2::BitBtn1Click()
{
    if (Edit1->text().isEmpty() || !project_.IsOpen())
        return;
    try {
        appendTopic(textToAnsi(Edit1->text()));
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
}

void TForm2::BitBtn2Click()
{
    RxRichEdit1->clear();
    QTreeWidgetItem* node = TreeView1->currentItem();
    if (!node)
        return;
    const int index = TopicIndex(node);
    TreeView1->setCurrentItem(nullptr);
    TreeView1->clearSelection();
    delete node;
    if (index < 0)
        return; // a node without a topic: only the node goes
    try {
        project_.DeleteTopic(static_cast<size_t>(index));
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
}

void TForm2::BitBtn3Click()
{
    if (!project_.IsOpen())
        return;
    if (OpenDialog2->exec() != QDialog::Accepted || OpenDialog2->selectedFiles().isEmpty())
        return;
    std::string bytes;
    try {
        bytes = readWholeFile(OpenDialog2->selectedFiles().first());
    } catch (const std::exception& e) {
        ShowException(e, this);
        return;
    }
    TreeView1->setUpdatesEnabled(false);
    try {
        for (const std::string& line : SplitLines(bytes))
            appendTopic(line);
    } catch (const std::exception&) {
        // Stops at the first failure without a message; what was appended stays.
    }
    TreeView1->setUpdatesEnabled(true);
    if (QTreeWidgetItem* last = TreeView1->currentItem())
        TreeView1->scrollToItem(last);
}

void TForm2::TreeView1Change(QTreeWidgetItem* node)
{
    PageControl1->setVisible(node != nullptr);
    const int index = TopicIndex(node);
    if (index < 0)
        return;
    try {
        // One update: the old text (and any uncommitted edit) is replaced.
        RxRichEdit1->setPlainText(ansiToText(project_.GetText(static_cast<size_t>(index))));
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
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

void TForm2::Button2Click()
{
    const int index = TopicIndex(TreeView1->currentItem());
    if (index < 0)
        return;
    size_t missing = 0;
    const std::string text = EditorText(&missing);
    try {
        project_.CommitText(static_cast<size_t>(index), text);
    } catch (const std::exception& e) {
        ShowException(e, this);
        return;
    }
    if (missing > 0)
        showStatus(QStringLiteral("%1 character(s) that Windows-1251 lacks were stored as \"?\".")
                       .arg(missing));
}

void TForm2::Button1Click()
{
    if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty())
        return;
    std::string text;
    try {
        text = LoadedText(readWholeFile(OpenDialog1->selectedFiles().first()), CheckBox1->isChecked());
    } catch (const std::exception& e) {
        ShowException(e, this);
        return;
    }
    std::vector<std::string> paragraphs = SplitParagraphs(text);
    QString shown;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i)
            shown += u'\n';
        shown += ansiToText(paragraphs[i]);
    }
    RxRichEdit1->setPlainText(shown);
    Button2Click();
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
    if (!project_.IsOpen())
        return;
    TreeView1->setCurrentItem(nullptr);
    TreeView1->clear();
    try {
        project_.Pack(); // closes, packs and opens again, also after a failure
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
    if (project_.IsOpen())
        fillTree();
}

void TForm2::GenerateJAVA1Click()
{
    if (!project_.IsOpen())
        return;
    auto* frame = qobject_cast<QMainWindow*>(window());
    GenerateMidlet(project_, CurrentFontSettings(fontTarget(*this)), frame ? frame->statusBar() : nullptr, this);
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
    TreeView1->setCurrentItem(nullptr);
    TreeView1->clear();
    try {
        project_.CloseProject();
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
}

void TForm2::closeEvent(QCloseEvent* e)
{
    // Closing is never refused and asks nothing.
    closeProject();
    e->accept();
}

} // namespace volm::ui
