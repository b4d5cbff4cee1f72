#pragma once
// The project window (TForm2): one open project in a child window of the main
// window. The left side lists the topics (a tree used as a flat list) and
// appends, deletes and loads topics from a list file; the right side, shown
// while a topic is selected, edits the selected topic's text, loads a text
// file into it (with Cyrillic code-page detection) and commits the text.
// Every change goes into the project file at once.

#include "app/Ansitext.h"
#include "app/Projectwindow.h"
#include "storage/Project.h"

#include <QString>

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

class TForm2 : public TProjectWindow {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    bool OpenProject(const QString& path) override;
    bool HoldsProject(const QString& path) const override;
    QMenu* DocumentMenu() const override { return Document1; }

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
    QAction* ImportBook1 = nullptr; // "Import &book..." (Bookdialog)

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
    void TreeView1Change(QTreeWidgetItem* node);
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

    TProject project_;
    QString path_;
};

} // namespace volm::ui
