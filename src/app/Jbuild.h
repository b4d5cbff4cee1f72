#pragma once
// The build parameters dialog (TForm3): vendor, information URL and
// description of the package, asked before every generation. The texts and
// the dialog's position are restored from the registry at every showing and
// saved at every closing (Build, Cancel, Esc or the window's close request).
// It also offers the phone reader's text layout; that choice belongs to the
// project, so the caller sets it before showing and reads it after. "Phone"
// chooses the jar budget: No limit, a phone family by name (its jar limit,
// and the heap and store the build checks), or Other..., which asks for a
// size; it is stored with the texts. "Book folder:" shows the folder the
// book is built in, and "Change..." chooses the folder it is made in, which
// belongs to the project like the layout.
//
// | Name | Role |
// |---|---|
// | `TForm3` | the build parameters dialog, "JAR Build parameters" |
// | `Label1` | "Please, enter atributes for creating package:" |
// | `Label2`, `Edit1` | "Vendor:", the vendor (the manifest's MIDlet-Vendor) |
// | `Label3`, `Edit2` | "URL:", the information URL (MIDlet-Info-URL) |
// | `Label4`, `Edit3` | "Descript:", the description (MIDlet-Description) |
// | `FolderLabel`, `FolderEdit`, `FolderButton` | "Book folder:", where the book is built, "Change..." |
// | `FormStorage1` | keeps the texts, the budget and the placement in the registry (TBuildParamsStore) |
// | `BitBtn1` | "&Build": closes with OK |
// | `BitBtn2` | "Cancel" |

#include "book/Buildparams.h"
#include "storage/Readerlayout.h"

#include <QDialog>

#include <cstdint>
#include <filesystem>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace volm::ui {

class TForm3 : public QDialog {
    Q_OBJECT
public:
    // `registry` is the registry file (the user's one when empty).
    explicit TForm3(QWidget* parent = nullptr, std::filesystem::path registry = {});
    ~TForm3() override;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit1 = nullptr; // vendor
    QLabel* Label3 = nullptr;
    QLineEdit* Edit2 = nullptr; // URL
    QLabel* Label4 = nullptr;
    QLineEdit* Edit3 = nullptr; // description
    QPushButton* BitBtn1 = nullptr; // "&Build"
    QPushButton* BitBtn2 = nullptr; // "Cancel"
    QComboBox* LayoutBox = nullptr;  // the reader's layout: words or grid
    QComboBox* ParagraphsBox = nullptr; // the words layout's paragraphs: indent or gap
    QLabel* PhoneLabel = nullptr;    // "Phone:"
    QComboBox* PhoneBox = nullptr;   // the jar budget
    QLabel* SizesLabel = nullptr;    // "Sizes:"
    QLineEdit* SizesEdit = nullptr;  // the words layout's font sizes ("11,14")
    QCheckBox* HyphensBox = nullptr; // "Hyphens": soft hyphens in the words layout
    QLabel* FolderLabel = nullptr;   // "Book folder:"
    QLineEdit* FolderEdit = nullptr; // the book folder, shown only
    QPushButton* FolderButton = nullptr; // "Change...": the folder it is made in

    // The texts as they stand in the controls (not trimmed), in Windows-1251;
    // a character that code page lacks becomes "?".
    std::string VendorText() const;
    std::string UrlText() const;
    std::string DescriptionText() const;
    // Why the texts can't be built ("The URL ... is not an absolute http or
    // https URL"), or "" when they can: each is one line, the URL a web
    // address. "&Build" shows it and keeps the dialog open.
    std::string TextsProblem() const;
    // The layout offered (as the project has it) and the one chosen.
    void SetLayout(TReaderLayout layout);
    TReaderLayout Layout() const;
    // The same for the paragraph style (offered only with the words layout).
    void SetParagraphs(TParagraphStyle style);
    TParagraphStyle Paragraphs() const;
    // The words layout's font sizes offered and as typed, and its hyphens
    // switch (both offered only with the words layout).
    void SetSizes(const std::string& sizes);
    std::string SizesText() const;
    void SetHyphens(bool on);
    bool Hyphens() const;
    // The book folder offered: that of `projectPath`, made in `outFolder`
    // ("" beside the project file). OutFolder() is the folder chosen since
    // (the one offered until "Change..." picks another).
    void SetBookFolder(const std::string& projectPath, const std::string& outFolder);
    std::string OutFolder() const { return outFolder_; }
    // The jar budget chosen, in bytes (0: no limit); setting one that is not
    // offered adds it to the list.
    uint64_t MaxJar() const;
    void SetMaxJar(uint64_t bytes);
    // The phone family chosen (its id, see Phones.h), "" for a size or no
    // limit; its jar limit is MaxJar(). Setting an id the table lacks
    // changes nothing and gives false.
    std::string Phone() const;
    bool SetPhone(const std::string& id);
    // The budget and phone chosen built a book: they are kept for the next
    // showing. Until then the dialog keeps the ones it was shown with (a
    // budget the build refused is not offered again).
    void RememberBudget();

    void done(int r) override;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void restore();
    void save(bool visible);
    void phoneChosen(int index);
    void askForBudget();
    void chooseFolder();
    void showFolder();
    TWindowPlacement placement() const;
    int pixelsPerInch() const;

    TBuildParamsStore FormStorage1;
    bool restored_ = false; // restored at this showing and not saved since
    int lastPhone_ = 0;     // the budget chosen before "Other..."
    // The budget and phone kept in the registry (a build made with them).
    uint64_t keptBudget_ = 0;
    std::string keptPhone_;
    std::string projectPath_;
    std::string outFolder_;
};

// The one build parameters dialog of the program (made at start-up).
TForm3* buildParamsDialog();
void setBuildParamsDialog(TForm3* dialog);

} // namespace volm::ui
