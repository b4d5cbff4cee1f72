#pragma once
// The phone's page beside the editor (TPhonePreview): the topic in the
// editor drawn as the reader will show it, with the fonts a build would make
// (book/Bookpreview), following the typed text without a build. It opens on
// the page that holds the editor's cursor; Page Up and Page Down go through
// the pages, and the next move of the cursor goes back to its page.
//
// | Name | Role |
// |---|---|
// | `TPhonePreview` | the pane |
// | `PreviewAction` | "Phone &preview" of the View menu: shows or hides the pane (F12) |
// | `SizeBox` | the screen size: the common canvases and those of the build's phone family |
// | `PageUpButton`, `PageDownButton` | the page before, the page after |
// | `PageLabel` | "Page 3 of 12" |
// | `ScreenLabel` | the screen |
//
// Whether the pane is shown and its screen size are kept in the registry
// file (HKEY_CURRENT_USER\Volm_Orvane\Preview, values "Shown" and "Size").

#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace volm {
class TBookPreview;
class TProject;
}

namespace volm::ui {

class TEditorText;

class TPhonePreview : public QWidget {
    Q_OBJECT
public:
    // `projectPath` gives the open project's path (its book's name comes from it).
    TPhonePreview(TProject& project, QPlainTextEdit* editor, TEditorText& text,
                  std::function<QString()> projectPath, QWidget* parent = nullptr);
    ~TPhonePreview() override;

    QAction* PreviewAction = nullptr;
    QComboBox* SizeBox = nullptr;
    QPushButton* PageUpButton = nullptr;
    QPushButton* PageDownButton = nullptr;
    QLabel* PageLabel = nullptr;
    QLabel* ScreenLabel = nullptr;

    // Draws the screen now (it is otherwise drawn once the events waiting are done).
    void Refresh();
    // The page shown (from 1), the topic's pages; 0 without a topic.
    int Page() const { return page_ + 1; }
    int Pages() const { return pages_; }
    // The screen as drawn last.
    const QImage& Screen() const { return screen_; }

public slots:
    void PageUp();
    void PageDown();

private:
    void schedule();
    void shownChanged(bool shown);
    void sizeChosen();
    void cursorMoved();
    std::string signature() const;

    TProject& project_;
    QPlainTextEdit* editor_;
    TEditorText& text_;
    std::function<QString()> projectPath_;
    std::unique_ptr<TBookPreview> book_;
    std::string bookSignature_;
    bool pending_ = false;
    bool followCursor_ = true;
    int page_ = 0;
    int pages_ = 0;
    QImage screen_;
};

} // namespace volm::ui
