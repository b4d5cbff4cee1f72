#pragma once
// The project window (TForm2): one open project in a child window of the main
// window. The left side lists the topics (a tree used as a flat list) and
// appends, deletes and loads topics from a list file; the right side, shown
// while a topic is selected, edits the selected topic's text, loads a text
// file into it (with Cyrillic code-page detection) and commits the text.
// Every change goes into the project file at once.
//
// The editor always holds the text of the selected topic (or nothing). Typed
// text that was not committed marks the window (an asterisk in its caption)
// and is never dropped without a word: selecting another topic, appending,
// loading a list or a text, packing, generating, closing the window and
// exiting first ask "Commit", "Discard" or "Cancel".

#include "app/Ansitext.h"
#include "app/Projectwindow.h"
#include "storage/Project.h"

#include <QString>

#include <optional>
#include <string>

class QAction;
class QCheckBox;
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

class TFontDialog;
class TTopicTree;
class TTopicEditor;

class TForm2 : public TProjectWindow {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    bool OpenProject(const QString& path) override;
    bool HoldsProject(const QString& path) const override;
    QMenu* DocumentMenu() const override { return Document1; }
    QString OpenFailure() const override { return openFailure_; }
    bool HasUncommittedEdits() const override;
    bool SettleEdits() override;

    // The node whose topic's text the editor holds (null: none).
    QTreeWidgetItem* EditorNode() const { return editorNode_; }

    TProject& Project() { return project_; }
    const QString& ProjectPath() const { return path_; }
    // The storage number of a node's topic, 0 for a node without one.
    static int32_t NodeNumber(const QTreeWidgetItem* node);
    // The project's index of a node's topic, or -1.
    int TopicIndex(const QTreeWidgetItem* node) const;
    // The editor's text as the topic stores it: its paragraphs, each followed
    // by CR LF, in Windows-1251.
    std::string EditorText(size_t* missing = nullptr) const;

    // Controls, named as in the window's layout.
    QGroupBox* GroupBox2 = nullptr;
    QTreeWidget* TreeView1 = nullptr;
    QSplitter* RxSplitter3 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QPushButton* BitBtn1 = nullptr; // "A&ppend"
    QPushButton* BitBtn2 = nullptr; // "&Delete"
    QPushButton* BitBtn3 = nullptr; // "&Load..." (topic list)
    QSplitter* RxSplitter2 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QPlainTextEdit* RxRichEdit1 = nullptr;
    QSplitter* RxSplitter1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QPushButton* Button1 = nullptr; // "L&oad..." (topic text)
    QCheckBox* CheckBox1 = nullptr;
    QPushButton* Button2 = nullptr; // "&Commit"
    QFileDialog* OpenDialog1 = nullptr; // text to load into the topic
    QFileDialog* OpenDialog2 = nullptr; // list of topics
    TFontDialog* FontDialog1 = nullptr; // the font choice for the phone

    QMenu* Document1 = nullptr;
    QAction* Font1 = nullptr;
    QAction* Usecustomfont1 = nullptr;
    QAction* Pack1 = nullptr;
    QAction* GenerateJAVA1 = nullptr;
    QAction* OpenBookFolder1 = nullptr;

    // The topic list's context menu and keys.
    QMenu* TopicMenu = nullptr;
    QAction* Append1 = nullptr;     // appends the typed name (or goes to the name field)
    QAction* Rename1 = nullptr;     // F2
    QAction* Delete1 = nullptr;     // Delete key, asks first
    QAction* MoveUp1 = nullptr;     // Alt+Up
    QAction* MoveDown1 = nullptr;   // Alt+Down
    QAction* LoadText1 = nullptr;   // "L&oad..." of the editor
    QAction* Commit1 = nullptr;     // Ctrl+S
    QAction* ImportBook1 = nullptr; // "&Import book..." (Bookdialog)

public slots:
    void BitBtn1Click();  // append
    void BitBtn2Click();  // delete
    void BitBtn3Click();  // load topic list
    void Button1Click();  // load text
    void Button2Click();  // commit
    void Pack1Click();
    void FontClick();
    void Usecustomfont1Click();
    void GenerateJAVA1Click();
    void OpenBookFolder1Click();
    void TreeView1Change(QTreeWidgetItem* node);
    // Enter in the name field: appends and empties the field.
    void Edit1Enter();
    void Rename1Click();  // opens the name editor on the selected topic
    void Delete1Click();  // asks, then deletes the selected topic
    // Renames the node's topic; a name with characters Windows-1251 lacks is
    // refused and the name editor opens again with it. True when stored.
    bool RenameTopic(QTreeWidgetItem* node, const QString& name);
    // Moves the topic at row `from` to row `to`; true when it moved.
    bool MoveTopic(int from, int to);
    // Files dropped on the list: projects open, other files become topics.
    void DropFiles(const QStringList& paths);
    // Book import (Bookdialog): `file`, or one the user chooses when empty.
    void ImportBook1Click(const QString& file = {});

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void fillTree();
    QTreeWidgetItem* appendNode(const std::string& name);
    // Appends a node named `name`, selects it and adds its topic; raises.
    void appendTopic(const std::string& name);
    void showStatus(const QString& text);
    void closeProject();
    // The entry's name in Windows-1251, or nothing after saying why not.
    std::optional<std::string> entryName();
    // Puts the node's stored text into the editor (none for no node, or a
    // node without a topic: the editor is then empty and read-only).
    void showTopic(QTreeWidgetItem* node);
    // Stores the editor's text in its topic; false after a failure.
    bool commitEditor();
    void editorModified();
    void updateCaption();
    void updateTopicCommands();
    // The text of a file as the editor shows it (detection as "L&oad..." does it).
    QString fileText(const QString& path, size_t* cutAt = nullptr) const;

    TProject project_;
    QString path_;
    QString openFailure_;
    TTopicTree* tree_ = nullptr;
    TTopicEditor* editor_ = nullptr;
    QTreeWidgetItem* editorNode_ = nullptr;
};

} // namespace volm::ui
