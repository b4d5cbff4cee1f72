#pragma once
// The about box (TAboutBox) and the version string of a program file.
//
// | Name | Role |
// |---|---|
// | `TAboutBox` | the about box, "About", shown by "&About..." |
// | `FormShow` | showEvent: the version of the running program into `Version` |
// | `ProgramIcon` | the program's picture; `ProgramIconClick` opens the maker's web site |
// | `ProductName` | "Volm creator" |
// | `Version` | the version string |
// | `Label1` | "Forum"; `Label1Click` opens the forum page |
// | `Comments` | "A new look on how mobile can be used ;)" |
// | `Label2` | the gift line; `Label2Click` copies the identifier to the clipboard |
//
// Named by role: `RaisedPanel`, the panel that holds every item, and
// `Copyright`, the maker's notice (`CopyrightClick` writes a mail to the maker).

#include <QDialog>
#include <QLabel>
#include <QUrl>

#include <functional>
#include <string>

class QFrame;
class QPushButton;

namespace volm {

// "major.minor.release. Build build" from the version record of the program
// file at `path`, or "" when the file has none or can't be read.
std::string GetVersionString(const std::string& path);

} // namespace volm

namespace volm::ui {

// The maker's addresses and identifier: placeholders of this project.
inline constexpr const char* kMakerSite = "http://volm.example.org/";
inline constexpr const char* kMakerForum = "http://volm.example.org/forum/";
inline constexpr const char* kMakerMail =
    "mailto:author@volm.example.org?subject=Volm%20creator&body=Hello!";
inline constexpr const char* kMakerNotice = "(c) 2026 The Volm authors";
inline constexpr const char* kDonationId = "VOLM-EXAMPLE-0000-0000";

// A label that answers a click.
class TClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();
protected:
    void mouseReleaseEvent(QMouseEvent* e) override;
};

class TAboutBox : public QDialog {
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);

    QFrame* RaisedPanel = nullptr;
    TClickLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    TClickLabel* Copyright = nullptr;  // the maker's notice
    TClickLabel* Label1 = nullptr;     // "Forum"
    QLabel* Comments = nullptr;
    TClickLabel* Label2 = nullptr;     // the gift line with the identifier
    QPushButton* CloseButton = nullptr; // "Close", the default button (Enter and Escape close too)

    // How addresses are opened; the desktop's default handler unless a test
    // replaces it.
    static std::function<void(const QUrl&)>& urlOpener();

public slots:
    void ProgramIconClick();
    void CopyrightClick();
    void Label1Click();
    void Label2Click();

protected:
    void showEvent(QShowEvent* e) override;
};

} // namespace volm::ui
