#pragma once
// The main window (TForm1): a multiple-document frame whose children are
// project windows, one per open project file. It holds no project state of
// its own; it walks its children to find an open project and to close them
// all at the end.

#include "app/Projectwindow.h"
#include "app/Statusbarwithcomps.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>

#include <functional>

class QAction;
class QFileDialog;
class QMdiArea;
class QMdiSubWindow;
class QMenu;

namespace volm::ui {

// The program's icon, for every window: the sizes of the desktop icon
// (16 to 256 pixels) that the package installs.
QIcon AppIcon();

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Makes a new, empty project window for the frame.
    using ProjectWindowFactory = std::function<TProjectWindow*(TForm1* frame)>;

    explicit TForm1(ProjectWindowFactory factory, QWidget* parent = nullptr);
    ~TForm1() override;

    // The one entry point for opening a project: brings an open window that
    // holds exactly this path to the front, or opens or creates the file in
    // a new project window ("Can't create/open file." when that fails).
    void OpenOrCreateProject(const QString& name);

    // The project opened when the frame is first shown ("" for none).
    void setCommandLineProject(const QString& path) { commandLineProject_ = path; }
    // The about box that "&About..." shows; owned by the caller.
    void setAboutBox(QDialog* box) { aboutBox_ = box; }

    // The open project windows in the frame's child order.
    QList<TProjectWindow*> projectWindows() const;
    TProjectWindow* activeProjectWindow() const;

    // Where the frame's status texts go (hints and long work).
    TStatusBarWithComps* StatusBarWithComps1 = nullptr;
    QMdiArea* MdiArea = nullptr;
    QMenu* File1 = nullptr;
    QMenu* Window1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* aOpen = nullptr;
    QAction* aExit = nullptr;
    QAction* aAbout = nullptr;
    QAction* WindowArrange = nullptr;
    QAction* WindowCascade = nullptr;
    QAction* WindowClose = nullptr;
    QAction* WindowMinimizeAll = nullptr;
    QAction* WindowTileHorizontal = nullptr;
    QAction* WindowTileVertical = nullptr;
    // "Load project": asks for a project file, existing or new.
    QFileDialog* OpenDialog1 = nullptr;

public slots:
    void aOpenExecute();
    void aAboutExecute();
    void ArrangeIcons();
    void MinimizeAll();
    void TileHorizontally();
    void TileVertically();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void FormShow();
    void subWindowActivated();
    void updateWindowCommands();

    ProjectWindowFactory factory_;
    QString commandLineProject_;
    QDialog* aboutBox_ = nullptr;
    bool shown_ = false;
    QPointer<QMenu> mergedMenu_;
};

// The frame of the running program (null before start-up made it).
TForm1* mainForm();

} // namespace volm::ui
