#pragma once
// The project window (TForm2): one open project in a child window of the main
// window. This is the form: it builds the controls and answers their events,
// each handler a short call into the units that do the work:
//  - TTopicCommands (book/Topiccommands): what the commands do to the topic
//    list; the window is its view (ITopicListView) and keeps the list's
//    nodes in step with the project's topics;
//  - TEditorText (Editortext): the editor's text, its commit and the
//    question asked before typed text is lost;
//  - Fontcommands, Generate, Bookdialog: the font, the build, whole books.
// Every change goes into the project file at once.
//
// | Name | Role |
// |---|---|
// | `TForm2` | the project window |
// | `GroupBox2` | left pane, "Add/select topic here" |
// | `TreeView1` | the topic list (TTopicTree); `TreeView1Change`: the selection changed |
// | `RxSplitter3` | between the list and `GroupBox3` |
// | `GroupBox3` | the name field and the list's buttons |
// | `Label1` | "Enter topic's name here:" |
// | `Edit1` | the name field; `Edit1Enter`: Enter appends and empties it |
// | `BitBtn1` | Append (`BitBtn1Click`) |
// | `BitBtn2` | Delete, without asking (`BitBtn2Click`) |
// | `BitBtn3` | Load a list of topic names (`BitBtn3Click`) |
// | `RxSplitter2` | between the left pane and the editor pane |
// | `PageControl1`, `TabSheet1` | the editor pane, shown while a topic is selected |
// | `RxRichEdit1` | the topic editor (TTopicEditor; its text: TEditorText) |
// | `RxSplitter1` | between the editor and `GroupBox1` |
// | `GroupBox1` | the editor's buttons |
// | `Button1` | Load a text file into the topic (`Button1Click`) |
// | `CheckBox1` | code-page detection of loaded texts |
// | `Button2` | Commit the editor's text (`Button2Click`) |
// | `OpenDialog1`, `OpenDialog2` | the text file to load, the list file |
// | `FontDialog1` | the font choice for the phone (TFontDialog); `FontClick`: "&Font" |
// | `Usecustomfont1` | "&Use custom font" (`Usecustomfont1Click`) |
// | `Pack1` | "&Pack" (`Pack1Click`) |
// | `SaveCopyAction` | "Save a &copy as..." (`SaveCopyClick`): what can be read, into a new project |
// | `SaveCopyDialog` | the new project file's name for "Save a copy as..." |
// | `GenerateJAVA1` | "&Generate JAVA middlet" (`GenerateJAVA1Click`) |
// | `PreviewPane` | the phone's page beside the editor (TPhonePreview) |
// | `FormCloseQuery`, `FormClose` | closeEvent: asks about typed text, closes the project |
//
// The project owns the topics' items, so no node has one to free when it goes
// (what TreeView1Deletion would do). Typed text that was not committed marks
// the window (an asterisk in its caption) and is never dropped without a
// word: selecting another topic, appending, loading a list or a text,
// packing, generating, closing the window and exiting first ask "Commit",
// "Discard" or "Cancel".
//
// A project that can't be written (read-only media, no write permission) or
// is damaged so that it can only be read opens read only: " [read only]"
// after its name in the caption, the status bar says why once, and every
// command that would change the file is disabled; selecting and reading
// topics, the preview, finding, the build and "Save a copy as..." stay.

#include "app/Projectwindow.h"
#include "book/Topiccommands.h"
#include "storage/Project.h"

#include <QString>

#include <optional>
#include <string>

class QAction;
class QCheckBox;
class QDialog;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace volm::ui {

class TEditorText;
class TFontDialog;
class TPhonePreview;
class TTopicTree;
class TTopicEditor;
struct TFontCommandTarget;

class TForm2 : public TProjectWindow, private ITopicListView {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    bool OpenProject(const QString& path) override;
    bool HoldsProject(const QString& path) const override;
    bool TakeBook(const std::vector<TBookTopic>& topics, const std::string& title) override;
    void ShowBuildDialog() override { GenerateJAVA1Click(); }
    QString ProjectPath() const override { return project_.IsOpen() ? path_ : QString(); }
    QMenu* MergedMenu() const override { return DocumentMenu; }
    QList<QAction*> ViewActions() const override;
    int ExtraWidth() const override;
    QString OpenFailure() const override { return openFailure_; }
    bool HasUncommittedEdits() const override;
    bool SettleEdits() override;
    void UndoChange() override;
    void RedoChange() override;
    void FindText(bool everyTopic) override;
    // Finds `text` (without regard to case) in the editor, after its cursor
    // and then from the start: true when found (it is selected then).
    bool FindInTopic(const QString& text);
    // Lists every place `text` occurs in the topics' texts (the editor's
    // for its own topic) in FindResults; the count of places.
    int FindInAllTopics(const QString& text);
    // Selects the topic at `index` and puts the editor's cursor at `at` (a
    // place of the text as the editor shows it), `length` characters selected.
    void GoToPlace(size_t index, int at, int length);
    // The matches of the last "Find in all topics" (null before one).
    QDialog* FindResults = nullptr;
    QTreeWidget* FindList = nullptr;
    QString UndoDescription() const override;
    QString RedoDescription() const override;

    // The node whose topic's text the editor holds (null: none).
    QTreeWidgetItem* EditorNode() const;

    TProject& Project() { return project_; }
    TEditorText& EditorText() { return *text_; }
    // The storage number of a node's topic, 0 for a node without one.
    static int32_t NodeNumber(const QTreeWidgetItem* node);
    // The project's index of a node's topic, or -1.
    int TopicIndex(const QTreeWidgetItem* node) const;

    // Controls, named as in the window's layout (see the table above).
    QGroupBox* GroupBox2 = nullptr;
    QTreeWidget* TreeView1 = nullptr;
    QSplitter* RxSplitter3 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;
    QPushButton* BitBtn3 = nullptr;
    QSplitter* RxSplitter2 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QPlainTextEdit* RxRichEdit1 = nullptr;
    QSplitter* RxSplitter1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* Button1 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button2 = nullptr;
    QFileDialog* OpenDialog1 = nullptr;
    QFileDialog* OpenDialog2 = nullptr;
    TFontDialog* FontDialog1 = nullptr;
    TPhonePreview* PreviewPane = nullptr;

    // "&Document", merged into the main window's menu bar.
    QMenu* DocumentMenu = nullptr;
    QAction* ChooseFontAction = nullptr; // "&Font"
    QAction* Usecustomfont1 = nullptr;
    QAction* Pack1 = nullptr;
    QAction* SaveCopyAction = nullptr;
    QFileDialog* SaveCopyDialog = nullptr;
    QAction* GenerateJAVA1 = nullptr;
    QAction* OpenBookFolderAction = nullptr; // "Open &book folder"
    QAction* SendToPhoneAction = nullptr;    // "&Send to phone..." (Senddialog)
    QAction* ImportBookAction = nullptr;     // "&Import book..." (Bookdialog)

    // The topic list's context menu and keys.
    QMenu* TopicMenu = nullptr;
    QAction* AppendAction = nullptr;   // appends the typed name (or goes to the name field)
    QAction* RenameAction = nullptr;   // F2
    QAction* DeleteAction = nullptr;   // Delete key (Ctrl+Z restores the topic)
    QAction* MoveUpAction = nullptr;   // Alt+Up
    QAction* MoveDownAction = nullptr; // Alt+Down
    QAction* LoadTextAction = nullptr; // "L&oad..." of the editor
    QAction* CommitAction = nullptr;   // Ctrl+S

public slots:
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void Button1Click();
    void Button2Click();
    void Pack1Click();
    // "Save a copy as...": asks for a new file and writes what the project
    // could read into it, naming what it could not; then offers to open it.
    void SaveCopyClick();
    void FontClick();
    void Usecustomfont1Click();
    void GenerateJAVA1Click();
    void TreeView1Change(QTreeWidgetItem* node);
    void Edit1Enter();
    // Opens the desktop's file manager on the book folder.
    void OpenBookFolder();
    // Serves the book folder to phones while the "Send to phone" dialog is open.
    void SendToPhone();
    // Opens the name editor on the selected topic.
    void RenameSelected();
    // Renames the node's topic; a name with characters Windows-1251 lacks is
    // refused and the name editor opens again with it. True when stored.
    bool RenameTopic(QTreeWidgetItem* node, const QString& name);
    // Moves the topic at row `from` to row `to`; true when it moved.
    bool MoveTopic(int from, int to);
    // Files dropped on the list: project files go to the main window
    // (projectFileDropped), book files to "&Import book...", other files
    // become topics.
    void DropFiles(const QStringList& paths);
    // "&Import book...": `file`, or one the user chooses when empty.
    void ImportBook(const QString& file = {});

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // ITopicListView: the list's nodes follow the project's topics.
    void TopicAppended(size_t index) override;
    void TopicAppendFailed(const std::string& name) override;
    void TopicDeleted(size_t index) override;
    void TopicMoved(size_t from, size_t to) override;
    void TopicRenamed(size_t index) override;
    void TopicTextChanged(size_t index) override;
    void ChangeRecorded(const std::string& what) override;
    // Undoes (or redoes) the last change of the list, or the editor's typing
    // when the editor has the focus.
    void replayChange(bool undo);

    // The node of the topic at `index` (nodes of topics are in topic order;
    // nodes without a topic may stand between them).
    QTreeWidgetItem* topicNode(size_t index) const;
    QTreeWidgetItem* appendNode(const std::string& name, int32_t number);
    void fillTree();
    // No node selected, the editor empty.
    void deselect();
    void clearTree();
    void closeProject();
    // Runs a command; a failure goes to the error box. False after one.
    template <class F>
    bool run(F&& command);
    void appendList(const QString& file);
    void appendTextFiles(const QStringList& files);
    void showStatus(const QString& text);
    // What the status bar says now.
    QString statusText() const;
    // The entry's name in Windows-1251, or nothing after saying why not.
    std::optional<std::string> entryName();
    // True when the editor holds the selected node's topic.
    bool editorShowsSelection() const;
    void updateCaption();
    void updateTopicCommands();
    // True (and nothing happens) when the project is read only.
    bool readOnly() const { return project_.IsReadOnly(); }
    TFontCommandTarget fontTarget();

    TProject project_;
    TTopicCommands commands_;
    QString path_;
    QString openFailure_;
    QString readOnlyCause_; // why the open project is read only ("" when it is not)
    QString lastFind_;
    TTopicTree* tree_ = nullptr;
    TTopicEditor* editor_ = nullptr;
    TEditorText* text_ = nullptr;
};

} // namespace volm::ui
