#include "app/Main.h"

#include "app/Errorbox.h"
#include "app/Filetype.h"

#include <QAction>
#include <QCloseEvent>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>

namespace volm::ui {

namespace {
TForm1* g_mainForm = nullptr;
}

TForm1* mainForm()
{
    return g_mainForm;
}

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
    g_mainForm = this;
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

    auto action = [this](const QString& text, const QString& hint, auto slot) {
        auto* a = new QAction(text, this);
        a->setStatusTip(hint);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };

    aOpen = action(tr("&Open/Create..."), QStringLiteral("Select existing file or type new name to create"),
                   &TForm1::aOpenExecute);
    aExit = action(tr("&Exit"), QString(), &QWidget::close);
    aAbout = action(tr("&About..."), QString(), &TForm1::aAboutExecute);
    WindowArrange = action(tr("&Arrange"), QString(), &TForm1::ArrangeIcons);
    WindowCascade = action(tr("&Cascade"), QString(), [this] { MdiArea->cascadeSubWindows(); });
    WindowClose = action(tr("C&lose"), QString(), [this] { MdiArea->closeActiveSubWindow(); });
    WindowMinimizeAll = action(tr("&Minimize All"), QString(), &TForm1::MinimizeAll);
    WindowTileHorizontal = action(tr("Tile &Horizontally"), QString(), &TForm1::TileHorizontally);
    WindowTileVertical = action(tr("&Tile Vertically"), QString(), &TForm1::TileVertically);

    File1 = menuBar()->addMenu(tr("&File"));
    File1->addAction(aOpen);
    File1->addSeparator();
    File1->addAction(aExit);
    Window1 = menuBar()->addMenu(tr("&Window"));
    for (QAction* a : {WindowArrange, WindowCascade, WindowClose, WindowMinimizeAll,
                       WindowTileHorizontal, WindowTileVertical})
        Window1->addAction(a);
    Help1 = menuBar()->addMenu(tr("&Help"));
    Help1->addAction(aAbout);

    OpenDialog1 = new QFileDialog(this, QStringLiteral("Load project"));
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::AnyFile); // a new name may be typed
    OpenDialog1->setNameFilter(QStringLiteral("Project files (*.volm)"));
    OpenDialog1->setDefaultSuffix(QStringLiteral("volm"));

    connect(MdiArea, &QMdiArea::subWindowActivated, this, &TForm1::subWindowActivated);
    updateWindowCommands();
}

TForm1::~TForm1()
{
    if (g_mainForm == this)
        g_mainForm = nullptr;
}

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
        InstallDesktopIntegration(program, dataHome());
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
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
            return;
        }
    }

    TProjectWindow* w = factory_(this);
    QMdiSubWindow* sub = MdiArea->addSubWindow(w);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    sub->resize(636, 474);
    if (!w->OpenProject(name)) {
        sub->close();
        delete sub; // no trace of the empty window is left
        updateWindowCommands();
        ShowMessageBox(QMessageBox::Critical, QStringLiteral("Can't create/open file."), this);
        return;
    }
    connect(sub, &QObject::destroyed, this, [this] {
        // The window list changes only after the object is gone.
        QMetaObject::invokeMethod(this, [this] { subWindowActivated(); }, Qt::QueuedConnection);
    });
    sub->show();
    MdiArea->setActiveSubWindow(sub);
    updateWindowCommands();
}

void TForm1::aOpenExecute()
{
    if (OpenDialog1->exec() != QDialog::Accepted)
        return;
    const QStringList files = OpenDialog1->selectedFiles();
    if (!files.isEmpty())
        OpenOrCreateProject(files.first());
}

void TForm1::aAboutExecute()
{
    if (aboutBox_)
        aboutBox_->exec();
}

void TForm1::subWindowActivated()
{
    TProjectWindow* w = activeProjectWindow();
    QMenu* menu = w ? w->DocumentMenu() : nullptr;
    if (mergedMenu_ != menu) {
        if (mergedMenu_)
            menuBar()->removeAction(mergedMenu_->menuAction());
        if (menu)
            menuBar()->insertAction(Window1->menuAction(), menu->menuAction());
        mergedMenu_ = menu;
    }
    updateWindowCommands();
}

void TForm1::updateWindowCommands()
{
    const bool any = !projectWindows().isEmpty();
    for (QAction* a : {WindowArrange, WindowCascade, WindowMinimizeAll, WindowTileHorizontal,
                       WindowTileVertical})
        a->setEnabled(any);
    WindowClose->setEnabled(any && MdiArea->currentSubWindow() != nullptr);
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
} // namespace

void TForm1::TileHorizontally()
{
    const auto subs = restoredWindows(MdiArea);
    if (subs.isEmpty())
        return;
    const QRect r = MdiArea->viewport()->rect();
    const int h = r.height() / static_cast<int>(subs.size());
    for (int i = 0; i < subs.size(); ++i)
        subs[i]->setGeometry(0, i * h, r.width(), h);
}

void TForm1::TileVertically()
{
    const auto subs = restoredWindows(MdiArea);
    if (subs.isEmpty())
        return;
    const QRect r = MdiArea->viewport()->rect();
    const int w = r.width() / static_cast<int>(subs.size());
    for (int i = 0; i < subs.size(); ++i)
        subs[i]->setGeometry(i * w, 0, w, r.height());
}

void TForm1::closeEvent(QCloseEvent* e)
{
    // Every project window closes, first to last, each committing and closing
    // its file; closing is never refused.
    for (QMdiSubWindow* sub : MdiArea->subWindowList(QMdiArea::CreationOrder)) {
        sub->close();
        delete sub;
    }
    e->accept();
}

} // namespace volm::ui
