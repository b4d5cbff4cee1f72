#pragma once
// The main window (TForm1): a multiple-document frame whose children are
// project windows, one per open project file. It holds no project state of
// its own; it walks its children to find an open project and to close them
// all at the end.
//
// | Name | Role |
// |---|---|
// | `TForm1` | the main window |
// | `StatusBarWithComps1` | the status bar: hints, status texts, the build's progress |
// | `aOpen` | "&Open/Create..." (`aOpenExecute`); `OpenOrCreateProject`: the one way a project opens |
// | `aExit` | "&Exit": closes every project window, then the program |
// | `aAbout` | "&About..." (`aAboutExecute`) |
// | `FormShow` | first showing: the file type registered, the command line's project opened |

#include "app/Projectwindow.h"
#include "app/Statusbarwithcomps.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>

#include <filesystem>
#include <functional>

class QAction;
class QFileDialog;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPushButton;

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
    // The same for a name the user chose (the open dialog, a recent project,
    // a dropped file): a project that does not exist is created only when
    // the user says so.
    void OpenProjectAsking(const QString& name);

    // "&New book from file...": the book file (`file`, or one the user
    // chooses when empty) shown in the import dialog, then where to keep its
    // new project (named after the book's title), then the new project
    // window with the book's topics and the build dialog ready.
    void NewBookFromFile(const QString& file = {});

    // The project opened when the frame is first shown ("" for none).
    void setCommandLineProject(const QString& path) { commandLineProject_ = path; }
    // The about box that "&About..." shows; owned by the caller.
    void setAboutBox(QDialog* box) { aboutBox_ = box; }

    // Where the recent projects are kept (the user's registry file when empty).
    void setRegistryFile(std::filesystem::path file) { registry_ = std::move(file); }
    // The "&Window" menu's entries of the open project windows (file name,
    // the full path as the hint), rebuilt whenever the menu opens.
    QList<QAction*> windowActions() const { return windowActions_; }
    // The "&File" menu's list of recent projects, as it is shown now.
    QList<QAction*> recentActions() const { return recentActions_; }
    // Rebuilds that list from the registry (done whenever the menu opens).
    void updateRecentProjects();
    // Shows the start panel (its recent projects as the registry has them)
    // while no project window is open, and hides it otherwise.
    void updateStartPanel();

    // The open project windows in the frame's child order.
    QList<TProjectWindow*> projectWindows() const;
    TProjectWindow* activeProjectWindow() const;

    // Where the frame's status texts go (hints and long work).
    TStatusBarWithComps* StatusBarWithComps1 = nullptr;
    // On the status bar: "Modified" while the active project window holds
    // typed text that was not committed.
    QLabel* ModifiedLabel = nullptr;
    QMdiArea* MdiArea = nullptr;
    // Over the empty window area while no project is open: the two first
    // steps ("&Open/Create...", "&New book from file...") and the recent
    // projects, each a button.
    QWidget* StartPanel = nullptr;
    QPushButton* StartOpenButton = nullptr;
    QPushButton* StartNewBookButton = nullptr;
    // The recent projects' buttons, as the panel shows them now.
    QList<QPushButton*> startRecentButtons() const { return startRecent_; }
    QMenu* FileMenu = nullptr;
    QMenu* EditMenu = nullptr;
    QMenu* ViewMenu = nullptr;   // the active project window's view entries
    QMenu* WindowMenu = nullptr;
    QMenu* HelpMenu = nullptr;
    QAction* aOpen = nullptr;
    QAction* aNewBook = nullptr; // "&New book from file..."
    QAction* aExit = nullptr;
    QAction* aAbout = nullptr;
    // "&Undo" (Ctrl+Z) and "&Redo" (Ctrl+Shift+Z) of the active project window.
    QAction* aUndo = nullptr;
    QAction* aRedo = nullptr;
    // "&Find..." (Ctrl+F) and "Find in all &topics..." (Ctrl+Shift+F).
    QAction* aFind = nullptr;
    QAction* aFindAll = nullptr;
    QAction* WindowArrange = nullptr;
    QAction* WindowCascade = nullptr;
    QAction* WindowClose = nullptr;
    QAction* WindowMinimizeAll = nullptr;
    QAction* WindowTileHorizontal = nullptr;
    QAction* WindowTileVertical = nullptr;
    // "Load project": asks for a project file, existing or new.
    QFileDialog* OpenProjectDialog = nullptr;

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
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void FormShow();
    void subWindowActivated();
    void updateWindowCommands();
    // "&Undo" and "&Redo" named after what they would do (the open menu).
    void updateEditCommands();
    void updateModified();
    void rememberProject(const QString& path);
    void openRecent(const QString& path);
    // The "&Window" menu's list of the open project windows, as it is shown now.
    void updateWindowList();
    // The open window that holds the file `name` names under another
    // spelling (null: none).
    QMdiSubWindow* sameFileWindow(const QString& name) const;
    // Puts a project window fully inside the frame's window area.
    void fitSubWindow(QMdiSubWindow* sub);

    ProjectWindowFactory factory_;
    std::filesystem::path registry_;
    QList<QAction*> recentActions_;
    QList<QAction*> windowActions_;
    QList<QPushButton*> startRecent_;
    QWidget* startRecentBox_ = nullptr;
    QAction* recentSeparator_ = nullptr;
    QString commandLineProject_;
    QDialog* aboutBox_ = nullptr;
    bool shown_ = false;
    QPointer<QMenu> mergedMenu_;
};

} // namespace volm::ui
