#include "app/Main.h"

#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/Ansitext.h"
#include "app/Bookdialog.h"
#include "app/Errorbox.h"
#include "app/Filedialogs.h"
#include "app/Filetype.h"
#include "app/Recent.h"
#include "app/Screenfit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHelpEvent>
#include <QToolTip>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include <algorithm>

namespace volm::ui {

namespace {

// The project files among dropped data.
QStringList droppedProjects(const QMimeData* data)
{
    QStringList out;
    if (!data || !data->hasUrls())
        return out;
    for (const QUrl& u : data->urls())
        if (u.isLocalFile() && u.toLocalFile().endsWith(QStringLiteral(".volm"), Qt::CaseInsensitive))
            out << u.toLocalFile();
    return out;
}

// The full path as the tooltip of a project window's title bar (the title
// is the file's name).
class TTitleTip : public QObject {
public:
    TTitleTip(QMdiSubWindow* sub, QString path) : QObject(sub), sub_(sub), path_(std::move(path))
    {
        sub->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == sub_ && e->type() == QEvent::ToolTip) {
            auto* help = static_cast<QHelpEvent*>(e);
            const QWidget* inner = sub_->widget();
            if (!inner || help->pos().y() < inner->geometry().top()) {
                QToolTip::showText(help->globalPos(), path_, sub_);
                return true;
            }
        }
        return false;
    }

private:
    QMdiSubWindow* sub_;
    QString path_;
};

} // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/volm/desktop/icons/%1x%1.png").arg(size), QSize(size, size));
    return icon;
}

TForm1::TForm1(ProjectWindowFactory factory, QWidget* parent)
    : QMainWindow(parent), factory_(std::move(factory))
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kAppTitle));
    setWindowIcon(AppIcon());

    MdiArea = new QMdiArea(this);
    MdiArea->setObjectName(QStringLiteral("MdiArea"));
    MdiArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    MdiArea->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(MdiArea);

    StatusBarWithComps1 = new TStatusBarWithComps(this);
    setStatusBar(StatusBarWithComps1);
    ModifiedLabel = new QLabel(StatusBarWithComps1);
    ModifiedLabel->setObjectName(QStringLiteral("ModifiedLabel"));
    ModifiedLabel->setToolTip(QStringLiteral("The topic's text was changed and not committed"));
    StatusBarWithComps1->addPermanentWidget(ModifiedLabel);

    // Every command has its hint in the status bar and as its tooltip.
    auto action = [this](const QString& text, const QString& hint, auto slot, const QKeySequence& keys = {}) {
        auto* a = new QAction(text, this);
        a->setStatusTip(hint);
        a->setToolTip(keys.isEmpty() ? hint
                                     : hint + QStringLiteral(" (") + keys.toString(QKeySequence::NativeText) + u')');
        if (!keys.isEmpty())
            a->setShortcut(keys);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };

    aOpen = action(tr("&Open/Create..."), QStringLiteral("Select existing file or type new name to create"),
                   &TForm1::aOpenExecute, QKeySequence::Open);
    aNewBook = action(tr("&New book from file..."),
                      QStringLiteral("Makes a new project of a book file (FB2, EPUB, HTML, Markdown, text) and gets "
                                     "its build ready"),
                      [this] { NewBookFromFile(); }, QKeySequence(Qt::CTRL | Qt::Key_N));
    aExit = action(tr("&Exit"), QStringLiteral("Close every project and end the program"), &QWidget::close,
                   QKeySequence(Qt::CTRL | Qt::Key_Q));
    aAbout = action(tr("&About..."), QStringLiteral("Show the program's version and authors"),
                    &TForm1::aAboutExecute);
    aUndo = action(tr("&Undo"), QStringLiteral("Take back the last change of the topic list (in the editor: the typing)"),
                   [this] {
                       if (TProjectWindow* w = activeProjectWindow())
                           w->UndoChange();
                   },
                   QKeySequence(Qt::CTRL | Qt::Key_Z));
    aRedo = action(tr("&Redo"), QStringLiteral("Make the last undone change again"),
                   [this] {
                       if (TProjectWindow* w = activeProjectWindow())
                           w->RedoChange();
                   },
                   QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    aFind = action(tr("&Find..."), QStringLiteral("Find a text in the selected topic"),
                   [this] {
                       if (TProjectWindow* w = activeProjectWindow())
                           w->FindText(false);
                   },
                   QKeySequence(Qt::CTRL | Qt::Key_F));
    aFindAll = action(tr("Find in all &topics..."),
                      QStringLiteral("Find a text in every topic and list the places to go to"),
                      [this] {
                          if (TProjectWindow* w = activeProjectWindow())
                              w->FindText(true);
                      },
                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    WindowArrange = action(tr("&Arrange"), QStringLiteral("Arrange the minimized project windows along the bottom"),
                           &TForm1::ArrangeIcons);
    WindowCascade = action(tr("&Cascade"), QStringLiteral("Cascade the project windows"),
                           [this] { MdiArea->cascadeSubWindows(); });
    WindowClose = action(tr("C&lose"), QStringLiteral("Close the active project window"),
                         [this] { MdiArea->closeActiveSubWindow(); }, QKeySequence(Qt::CTRL | Qt::Key_W));
    WindowClose->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_W), QKeySequence(Qt::CTRL | Qt::Key_F4)});
    WindowMinimizeAll = action(tr("&Minimize All"), QStringLiteral("Minimize every project window"),
                               &TForm1::MinimizeAll);
    WindowTileHorizontal = action(tr("Tile &Horizontally"),
                                  QStringLiteral("Tile the project windows one above the other"),
                                  &TForm1::TileHorizontally);
    WindowTileVertical = action(tr("&Tile Vertically"), QStringLiteral("Tile the project windows side by side"),
                                &TForm1::TileVertically);

    FileMenu = menuBar()->addMenu(tr("&File"));
    FileMenu->addAction(aOpen);
    FileMenu->addAction(aNewBook);
    FileMenu->addSeparator();
    FileMenu->addAction(aExit);
    EditMenu = menuBar()->addMenu(tr("&Edit"));
    EditMenu->addAction(aUndo);
    EditMenu->addAction(aRedo);
    EditMenu->addSeparator();
    EditMenu->addAction(aFind);
    EditMenu->addAction(aFindAll);
    connect(EditMenu, &QMenu::aboutToShow, this, &TForm1::updateEditCommands);
    // Closed, the keys work whatever the menu last showed.
    connect(EditMenu, &QMenu::aboutToHide, this, &TForm1::updateWindowCommands);
    ViewMenu = menuBar()->addMenu(tr("&View"));
    ViewMenu->setObjectName(QStringLiteral("ViewMenu"));
    connect(ViewMenu, &QMenu::aboutToShow, this, [this] {
        ViewMenu->clear();
        if (TProjectWindow* w = activeProjectWindow())
            ViewMenu->addActions(w->ViewActions());
        if (ViewMenu->isEmpty())
            ViewMenu->addAction(tr("No project window"))->setEnabled(false);
    });
    WindowMenu = menuBar()->addMenu(tr("&Window"));
    for (QAction* a : {WindowArrange, WindowCascade, WindowClose, WindowMinimizeAll,
                       WindowTileHorizontal, WindowTileVertical})
        WindowMenu->addAction(a);
    HelpMenu = menuBar()->addMenu(tr("&Help"));
    HelpMenu->addAction(aAbout);
    for (QMenu* m : {FileMenu, EditMenu, ViewMenu, WindowMenu, HelpMenu})
        m->setToolTipsVisible(true);
    connect(FileMenu, &QMenu::aboutToShow, this, &TForm1::updateRecentProjects);
    connect(WindowMenu, &QMenu::aboutToShow, this, &TForm1::updateWindowList);
    setAcceptDrops(true);

    // A new name may be typed.
    OpenProjectDialog = NewFileDialog(this, QStringLiteral("Load project"), "OpenProjectDialog", TFileWanted::AnyName,
                                      {QStringLiteral("Project files (*.volm)")}, QStringLiteral("volm"));

    StartPanel = new QWidget(MdiArea);
    StartPanel->setObjectName(QStringLiteral("StartPanel"));
    StartPanel->setAutoFillBackground(false);
    auto* start = new QVBoxLayout(StartPanel);
    start->addStretch(1);
    auto* welcome = new QLabel(QStringLiteral("Make a book for Java phones:"), StartPanel);
    QFont big = welcome->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    welcome->setFont(big);
    start->addWidget(welcome, 0, Qt::AlignHCenter);
    StartOpenButton = new QPushButton(QStringLiteral("Open/Create a project..."), StartPanel);
    StartOpenButton->setObjectName(QStringLiteral("StartOpenButton"));
    StartOpenButton->setToolTip(aOpen->statusTip());
    StartNewBookButton = new QPushButton(QStringLiteral("New book from file..."), StartPanel);
    StartNewBookButton->setObjectName(QStringLiteral("StartNewBookButton"));
    StartNewBookButton->setToolTip(aNewBook->statusTip());
    for (QPushButton* b : {StartOpenButton, StartNewBookButton})
        start->addWidget(b, 0, Qt::AlignHCenter);
    startRecentBox_ = new QWidget(StartPanel);
    start->addWidget(startRecentBox_, 0, Qt::AlignHCenter);
    new QVBoxLayout(startRecentBox_);
    start->addStretch(2);
    connect(StartOpenButton, &QPushButton::clicked, aOpen, &QAction::trigger);
    connect(StartNewBookButton, &QPushButton::clicked, aNewBook, &QAction::trigger);
    MdiArea->installEventFilter(this);

    connect(MdiArea, &QMdiArea::subWindowActivated, this, &TForm1::subWindowActivated);
    updateWindowCommands();
    updateStartPanel();
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == MdiArea && e->type() == QEvent::Resize)
        StartPanel->setGeometry(MdiArea->rect());
    return QMainWindow::eventFilter(watched, e);
}

void TForm1::updateStartPanel()
{
    const bool empty = MdiArea->subWindowList().isEmpty();
    StartPanel->setVisible(empty);
    if (!empty || !shown_)
        return;
    StartPanel->setGeometry(MdiArea->rect());
    StartPanel->raise();
    // Later: the button clicked may be among them.
    for (QPushButton* b : startRecent_) {
        b->hide();
        b->deleteLater();
    }
    startRecent_.clear();
    std::vector<std::string> paths;
    try {
        paths = TRecentProjects(registry_).List();
    } catch (const std::exception&) {
    }
    auto* box = static_cast<QVBoxLayout*>(startRecentBox_->layout());
    for (const std::string& p : paths) {
        const QString path = QFile::decodeName(p.c_str());
        QString shown = QFileInfo(path).fileName();
        shown.replace(u'&', QStringLiteral("&&"));
        auto* b = new QPushButton(shown, startRecentBox_);
        b->setFlat(true);
        b->setToolTip(path);
        b->setStatusTip(QStringLiteral("Open %1").arg(path));
        connect(b, &QPushButton::clicked, this, [this, path] { openRecent(path); });
        box->addWidget(b);
        startRecent_ << b;
    }
}

TForm1::~TForm1() = default;

QList<TProjectWindow*> TForm1::projectWindows() const
{
    QList<TProjectWindow*> out;
    for (QMdiSubWindow* sub : MdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto* w = dynamic_cast<TProjectWindow*>(sub->widget()))
            out.append(w);
    return out;
}

TProjectWindow* TForm1::activeProjectWindow() const
{
    QMdiSubWindow* sub = MdiArea->currentSubWindow();
    return sub ? dynamic_cast<TProjectWindow*>(sub->widget()) : nullptr;
}

void TForm1::showEvent(QShowEvent* e)
{
    if (!shown_)
        FitToScreen(this); // a size asked for at a small scale may not fit a large one
    QMainWindow::showEvent(e);
    if (!shown_) {
        shown_ = true;
        FormShow();
    }
}

void TForm1::FormShow()
{
    // A failed registration is shown and does not keep the project named on
    // the command line from opening.
    const std::string program = programPath();
    try {
        RegisterFileType("volm", "Volm project file", program);
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
    try {
        std::vector<std::pair<int, std::string>> icons;
        for (int size : {16, 32, 48, 64, 128, 256}) {
            QFile png(QStringLiteral(":/volm/desktop/icons/%1x%1.png").arg(size));
            if (png.open(QIODevice::ReadOnly))
                icons.emplace_back(size, png.readAll().toStdString());
        }
        InstallDesktopIntegration(program, dataHome(), dataDirs(), icons);
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
    updateStartPanel();
    if (!commandLineProject_.isEmpty())
        OpenOrCreateProject(commandLineProject_);
}

void TForm1::OpenOrCreateProject(const QString& name)
{
    for (QMdiSubWindow* sub : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        auto* w = dynamic_cast<TProjectWindow*>(sub->widget());
        if (w && w->HoldsProject(name)) {
            if (sub->isMinimized())
                sub->showNormal();
            MdiArea->setActiveSubWindow(sub);
            sub->raise();
            rememberProject(name);
            return;
        }
    }

    // The same file under another spelling: that window comes forward, and
    // the user hears why nothing else opened.
    if (QMdiSubWindow* same = sameFileWindow(name)) {
        if (same->isMinimized())
            same->showNormal();
        MdiArea->setActiveSubWindow(same);
        same->raise();
        auto* held = dynamic_cast<TProjectWindow*>(same->widget());
        ShowMessageBox(QMessageBox::Critical,
                       QStringLiteral("Can't create/open file.\n%1: the project is already open in this program, "
                                      "as %2; that window is brought to the front.")
                           .arg(name, held ? held->ProjectPath() : QString()),
                       this);
        return;
    }

    TProjectWindow* w = factory_(this);
    QMdiSubWindow* sub = MdiArea->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(636, 474);
    // "C&lose" of the "&Window" menu has the keys: the window's own close
    // command holding them too would make both ambiguous (neither would run).
    if (QMenu* system = sub->systemMenu())
        for (QAction* a : system->actions())
            if (a->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_W)) ||
                a->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_F4)))
                a->setShortcuts({});
    if (!w->OpenProject(name)) {
        const QString cause = w->OpenFailure();
        sub->close();
        delete sub; // no trace of the empty window is left
        updateWindowCommands();
        // The message's first line as it always was; then which file and why.
        ShowMessageBox(QMessageBox::Critical,
                       QStringLiteral("Can't create/open file.") +
                           (cause.isEmpty() ? QString() : u'\n' + errorBoxText(cause)),
                       this);
        return;
    }
    connect(sub, &QObject::destroyed, this, [this] {
        // The window list changes only after the object is gone.
        QMetaObject::invokeMethod(this, [this] { subWindowActivated(); }, Qt::QueuedConnection);
    });
    new TTitleTip(sub, QFileInfo(name).absoluteFilePath());
    connect(w, &TProjectWindow::editsChanged, this, &TForm1::updateModified);
    connect(w, &TProjectWindow::projectFileDropped, this, &TForm1::OpenOrCreateProject);
    // The preview beside the editor takes its own room (as far as the area allows).
    sub->resize(sub->width() + w->ExtraWidth(), sub->height());
    sub->show();
    fitSubWindow(sub);
    MdiArea->setActiveSubWindow(sub);
    updateWindowCommands();
    rememberProject(name);
}

QMdiSubWindow* TForm1::sameFileWindow(const QString& name) const
{
    const QFileInfo wanted(name);
    if (!wanted.exists())
        return nullptr;
    for (QMdiSubWindow* sub : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        auto* w = dynamic_cast<TProjectWindow*>(sub->widget());
        const QString path = w ? w->ProjectPath() : QString();
        if (path.isEmpty())
            continue;
        std::error_code ec;
        if (std::filesystem::equivalent(QFile::encodeName(path).toStdString(), QFile::encodeName(name).toStdString(),
                                        ec))
            return sub;
    }
    return nullptr;
}

void TForm1::updateWindowList()
{
    for (QAction* a : windowActions_) {
        WindowMenu->removeAction(a);
        a->deleteLater();
    }
    windowActions_.clear();
    const auto subs = MdiArea->subWindowList(QMdiArea::CreationOrder);
    if (subs.isEmpty())
        return;
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    WindowMenu->addAction(separator);
    windowActions_ << separator;
    int n = 0;
    for (QMdiSubWindow* sub : subs) {
        auto* w = dynamic_cast<TProjectWindow*>(sub->widget());
        const QString path = w && !w->ProjectPath().isEmpty() ? QFileInfo(w->ProjectPath()).absoluteFilePath()
                                                              : sub->windowTitle();
        QString shown = QFileInfo(path).fileName();
        shown.replace(u'&', QStringLiteral("&&"));
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(++n).arg(shown), this);
        a->setObjectName(QStringLiteral("Window%1").arg(n));
        a->setCheckable(true);
        a->setChecked(sub == MdiArea->currentSubWindow());
        a->setStatusTip(path);
        a->setToolTip(path);
        connect(a, &QAction::triggered, this, [this, sub] {
            if (sub->isMinimized())
                sub->showNormal();
            MdiArea->setActiveSubWindow(sub);
        });
        WindowMenu->addAction(a);
        windowActions_ << a;
    }
}

void TForm1::NewBookFromFile(const QString& given)
{
    const QString file = given.isEmpty() ? ChooseBookFile(this) : given;
    if (file.isEmpty())
        return;
    std::unique_ptr<TBookDialog> dialog;
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor); // the whole book is read first
        dialog = std::make_unique<TBookDialog>(file, this);
        QApplication::restoreOverrideCursor();
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        ShowException(e, this);
        return;
    }
    dialog->TitleCheck->setChecked(true);
    if (dialog->exec() != QDialog::Accepted)
        return;
    const QString title = ansiToText(dialog->Book().title);
    const bool named = dialog->TitleCheck->isChecked();
    const QFileInfo book(file);
    std::unique_ptr<QFileDialog> where(NewFileDialog(this, QStringLiteral("Where to keep the book's project"),
                                                     "NewBookProjectDialog", TFileWanted::AnyName,
                                                     {QStringLiteral("Project files (*.volm)")}, QStringLiteral("volm")));
    where->setAcceptMode(QFileDialog::AcceptSave);
    where->setOption(QFileDialog::DontConfirmOverwrite); // an existing file is refused below
    where->setDirectory(book.absolutePath());
    where->selectFile(ProjectFileNameForTitle(title, book.completeBaseName()));
    const QString project = ChooseFile(where.get());
    if (project.isEmpty())
        return;
    if (QFileInfo::exists(project)) {
        ShowMessageBox(QMessageBox::Warning,
                       QStringLiteral("%1: the file exists already; a new book gets a project of its own, so choose "
                                      "another name.")
                           .arg(project),
                       this);
        return;
    }
    OpenOrCreateProject(project);
    TProjectWindow* w = nullptr;
    for (TProjectWindow* p : projectWindows())
        if (p->HoldsProject(project))
            w = p;
    if (!w || !w->TakeBook(dialog->Topics(), named ? title.toStdString() : std::string()))
        return;
    // Once the window is up, the build dialog.
    QPointer<TProjectWindow> ready(w);
    QMetaObject::invokeMethod(
        this,
        [ready] {
            if (ready)
                ready->ShowBuildDialog();
        },
        Qt::QueuedConnection);
}

void TForm1::OpenProjectAsking(const QString& name)
{
    if (!QFileInfo::exists(name)) {
        bool open = false;
        for (TProjectWindow* w : projectWindows())
            open = open || w->HoldsProject(name);
        if (!open && !AskYesNo(QStringLiteral("The project \"%1\" does not exist.\nCreate it?").arg(name), true, this))
            return;
    }
    OpenOrCreateProject(name);
}

void TForm1::fitSubWindow(QMdiSubWindow* sub)
{
    const QRect area = MdiArea->viewport()->rect();
    if (area.width() < 50 || area.height() < 50)
        return; // not laid out yet
    QRect r = sub->geometry();
    r.setSize(r.size().boundedTo(area.size()));
    if (r.right() > area.right())
        r.moveRight(area.right());
    if (r.bottom() > area.bottom())
        r.moveBottom(area.bottom());
    r.moveLeft(std::max(r.left(), area.left()));
    r.moveTop(std::max(r.top(), area.top()));
    sub->setGeometry(r);
}

void TForm1::rememberProject(const QString& path)
{
    // The path as it names the file from anywhere.
    const QString full = QFileInfo(path).absoluteFilePath();
    try {
        TRecentProjects(registry_).Add(QFile::encodeName(full).toStdString());
    } catch (const std::exception& e) {
        StatusBarWithComps1->showMessage(fromMessage(e.what()));
    }
}

void TForm1::updateRecentProjects()
{
    for (QAction* a : recentActions_) {
        FileMenu->removeAction(a);
        a->deleteLater();
    }
    recentActions_.clear();
    if (recentSeparator_) {
        FileMenu->removeAction(recentSeparator_);
        recentSeparator_->deleteLater();
        recentSeparator_ = nullptr;
    }
    const std::vector<std::string> paths = TRecentProjects(registry_).List();
    if (paths.empty())
        return;
    QList<QAction*> items;
    for (size_t i = 0; i < paths.size(); ++i) {
        const QString path = QFile::decodeName(paths[i].c_str());
        QString shown = path;
        shown.replace(u'&', QStringLiteral("&&"));
        auto* a = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(shown), this);
        a->setObjectName(QStringLiteral("Recent%1").arg(i + 1));
        a->setStatusTip(QStringLiteral("Open %1").arg(path));
        a->setToolTip(a->statusTip());
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
        items.append(a);
    }
    recentSeparator_ = new QAction(this);
    recentSeparator_->setSeparator(true);
    FileMenu->insertActions(aExit, items);
    FileMenu->insertAction(aExit, recentSeparator_);
    recentActions_ = items;
}

void TForm1::openRecent(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        try {
            TRecentProjects(registry_).Remove(QFile::encodeName(path).toStdString());
        } catch (const std::exception&) {
        }
        updateRecentProjects();
        ShowMessageBox(QMessageBox::Warning,
                       QStringLiteral("%1: the project no longer exists; it was taken off the recent projects.")
                           .arg(path),
                       this);
        return;
    }
    OpenOrCreateProject(path);
}

void TForm1::updateModified()
{
    TProjectWindow* w = activeProjectWindow();
    ModifiedLabel->setText(w && w->HasUncommittedEdits() ? QStringLiteral("Modified") : QString());
}

void TForm1::dragEnterEvent(QDragEnterEvent* e)
{
    if (!droppedProjects(e->mimeData()).isEmpty())
        e->acceptProposedAction();
    else
        e->ignore();
}

void TForm1::dropEvent(QDropEvent* e)
{
    const QStringList files = droppedProjects(e->mimeData());
    if (files.isEmpty()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
    for (const QString& f : files)
        OpenProjectAsking(f);
}

void TForm1::aOpenExecute()
{
    if (const QString file = ChooseFile(OpenProjectDialog); !file.isEmpty())
        OpenProjectAsking(file);
}

void TForm1::aAboutExecute()
{
    if (aboutBox_)
        aboutBox_->exec();
}

void TForm1::subWindowActivated()
{
    updateStartPanel();
    TProjectWindow* w = activeProjectWindow();
    QMenu* menu = w ? w->MergedMenu() : nullptr;
    if (mergedMenu_ != menu) {
        if (mergedMenu_)
            menuBar()->removeAction(mergedMenu_->menuAction());
        if (menu)
            menuBar()->insertAction(WindowMenu->menuAction(), menu->menuAction());
        mergedMenu_ = menu;
    }
    updateWindowCommands();
    updateModified();
}

void TForm1::updateWindowCommands()
{
    const bool any = !projectWindows().isEmpty();
    for (QAction* a : {WindowArrange, WindowCascade, WindowMinimizeAll, WindowTileHorizontal,
                       WindowTileVertical})
        a->setEnabled(any);
    WindowClose->setEnabled(any && MdiArea->currentSubWindow() != nullptr);
    aUndo->setText(tr("&Undo"));
    aRedo->setText(tr("&Redo"));
    for (QAction* a : {aUndo, aRedo, aFind, aFindAll})
        a->setEnabled(activeProjectWindow() != nullptr);
}

void TForm1::updateEditCommands()
{
    TProjectWindow* w = activeProjectWindow();
    // In a text field the commands act on its typing.
    QWidget* focus = QApplication::focusWidget();
    const bool typing = qobject_cast<QPlainTextEdit*>(focus) || qobject_cast<QLineEdit*>(focus);
    const QString undo = w && !typing ? w->UndoDescription() : QString();
    const QString redo = w && !typing ? w->RedoDescription() : QString();
    auto shown = [](QString s) { return s.replace(u'&', QStringLiteral("&&")); };
    aUndo->setText(undo.isEmpty() ? tr("&Undo") : tr("&Undo: %1").arg(shown(undo)));
    aRedo->setText(redo.isEmpty() ? tr("&Redo") : tr("&Redo: %1").arg(shown(redo)));
    aUndo->setEnabled(w && (typing || !undo.isEmpty()));
    aRedo->setEnabled(w && (typing || !redo.isEmpty()));
}

void TForm1::ArrangeIcons()
{
    // Minimised windows in a row along the bottom edge, left to right.
    int x = 0;
    const int bottom = MdiArea->viewport()->height();
    for (QMdiSubWindow* sub : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        if (!sub->isMinimized())
            continue;
        const QSize s = sub->size();
        if (x > 0 && x + s.width() > MdiArea->viewport()->width())
            x = 0;
        sub->move(x, bottom - s.height());
        x += s.width();
    }
}

void TForm1::MinimizeAll()
{
    const auto subs = MdiArea->subWindowList(QMdiArea::CreationOrder);
    for (auto it = subs.rbegin(); it != subs.rend(); ++it)
        (*it)->showMinimized();
}

namespace {
QList<QMdiSubWindow*> restoredWindows(QMdiArea* area)
{
    QList<QMdiSubWindow*> out;
    for (QMdiSubWindow* sub : area->subWindowList(QMdiArea::CreationOrder)) {
        if (sub->isMinimized())
            continue;
        if (sub->isMaximized())
            sub->showNormal();
        out.append(sub);
    }
    return out;
}

// The windows one above the other (Qt::Vertical) or side by side
// (Qt::Horizontal), each an equal share of the area.
void tile(QMdiArea* area, Qt::Orientation along)
{
    const auto subs = restoredWindows(area);
    if (subs.isEmpty())
        return;
    const QRect r = area->viewport()->rect();
    const int n = static_cast<int>(subs.size());
    const int h = r.height() / n, w = r.width() / n;
    for (int i = 0; i < n; ++i) {
        if (along == Qt::Vertical)
            subs[i]->setGeometry(0, i * h, r.width(), h);
        else
            subs[i]->setGeometry(i * w, 0, w, r.height());
    }
}
} // namespace

void TForm1::TileHorizontally() { tile(MdiArea, Qt::Vertical); }

void TForm1::TileVertically() { tile(MdiArea, Qt::Horizontal); }

void TForm1::closeEvent(QCloseEvent* e)
{
    // Typed text that was not committed is asked about per window, first to
    // last; "Cancel" keeps the program running.
    for (TProjectWindow* w : projectWindows()) {
        if (!w->HasUncommittedEdits())
            continue;
        if (QMdiSubWindow* sub = qobject_cast<QMdiSubWindow*>(w->parentWidget()))
            MdiArea->setActiveSubWindow(sub);
        if (!w->SettleEdits()) {
            e->ignore();
            return;
        }
    }
    // Then every project window closes, first to last, each committing and
    // closing its file.
    for (QMdiSubWindow* sub : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        sub->close();
        delete sub;
    }
    e->accept();
}

} // namespace volm::ui
