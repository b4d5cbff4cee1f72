#pragma once
// What the main window needs of a project window (TForm2): the main window
// creates one per project, asks it to open or create the file, finds an open
// project by its path, merges the window's "&Document" menu into its menu bar
// while the window is active (and lists its entries of the "&View" menu),
// opens the project files dropped on it, and closes it.

#include "text/Bookimport.h"

#include <QList>
#include <QMenu>
#include <QString>
#include <QWidget>

namespace volm::ui {

class TProjectWindow : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    ~TProjectWindow() override = default;

    // Opens the project at `path`, or creates it when no file is there; on
    // success the window holds the file and is captioned with the path. A
    // failure (the window already holds a file, or the file can't be opened
    // or created) gives false and is never raised: the caller reports it.
    virtual bool OpenProject(const QString& path) = 0;
    // True when the window holds an open file whose path is `path` exactly.
    virtual bool HoldsProject(const QString& path) const = 0;
    // The menu the main window merges into its menu bar, between "&File" and
    // "&Window", while this window is active (the project window's "&Document").
    virtual QMenu* MergedMenu() const = 0;

    // A new book's topics appended as one change, and its title (UTF-8, ""
    // for none) stored as the book's name; failures are shown. True when the
    // topics are in.
    virtual bool TakeBook(const std::vector<TBookTopic>& topics, const std::string& title)
    {
        (void)topics;
        (void)title;
        return false;
    }
    // Shows the build dialog for the project.
    virtual void ShowBuildDialog() {}
    // The path of the open project as OpenProject was given it ("" for none).
    virtual QString ProjectPath() const { return {}; }
    // The window's entries of the main window's "&View" menu.
    virtual QList<QAction*> ViewActions() const { return {}; }
    // The width its panes take beyond a project window's usual width (the
    // preview's, when it is shown), so that the others keep theirs.
    virtual int ExtraWidth() const { return 0; }
    // Why the last OpenProject failed: the path and the cause, or "".
    virtual QString OpenFailure() const { return {}; }
    // True while the window holds typed text that was not committed.
    virtual bool HasUncommittedEdits() const { return false; }
    // Asks once what becomes of typed text that was not committed ("Commit",
    // "Discard", "Cancel"); true when the window may go on (nothing was typed,
    // or it was committed or discarded), false when the user cancelled or
    // the commit failed.
    virtual bool SettleEdits() { return true; }

    // "&Undo" and "&Redo" of the main window's "&Edit" menu: the last change
    // of the topic list taken back or made again (in the editor, its typing).
    virtual void UndoChange() {}
    virtual void RedoChange() {}
    // "&Find..." (in the selected topic's text) and "Find in all &topics..."
    // (every topic, the matches listed to jump to), each asking for the text.
    virtual void FindText(bool everyTopic) { (void)everyTopic; }
    // What they would take back or make again ("" for nothing).
    virtual QString UndoDescription() const { return {}; }
    virtual QString RedoDescription() const { return {}; }

signals:
    // The window's typed text became uncommitted, or committed or discarded.
    void editsChanged(bool uncommitted);
    // A project file was dropped on the window; the main window opens it.
    void projectFileDropped(const QString& path);
};

} // namespace volm::ui
