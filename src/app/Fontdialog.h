#pragma once
// The project window's font-choice dialog (FontDialog1): the desktop font the
// phone's font image is rendered from. It offers fixed-pitch fonts only, the
// size, the style (bold, italic), the effects (strikeout, underline, colour)
// and the script (character set), with a sample of the choice. The script
// is kept with the choice but the phone's font always holds the book's code
// page, Windows-1251; a face without Cyrillic letters is warned about.
//
// The dialog holds a font choice (Font()); Execute() shows it with that
// choice and, on OK, takes over what the controls show. Cancel leaves the
// held choice as it was.
//
// Sizes are offered in points and kept as heights in pixels at 96 pixels per
// inch, negative (a character height without internal leading): 8 points is
// -11. A size that is not touched keeps the held height exactly, so a
// positive height read from a project survives an OK. The sample shows what
// the phone gets: the font image's own font for the choice's cell
// (FontImageFont) in the image's colour on white.
//
// | Name | Role |
// |---|---|
// | `FontDialog1` | this dialog, the project window's font choice |
// | `FontClick`, `Usecustomfont1Click` | the commands that use it (Fontcommands) |
//
// Its controls are named by their role (FontList, SizeEdit, ScriptBox, ...).

#include "storage/Fontsettings.h"

#include <QDialog>
#include <QFont>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace volm::ui {

// A script as the dialog lists it: its name and its character set.
struct TScriptName {
    uint8_t charset;
    const char* name;
};
// Every script the dialog offers, in its list order.
const std::vector<TScriptName>& ScriptNames();
// The dialog's name for a character set ("Cyrillic"); a set it does not know
// is named by its number.
QString ScriptName(uint8_t charset);

// Points and pixel heights at 96 pixels per inch, rounded as the desktop does.
int32_t HeightFromPoints(int points);   // 8 -> -11
int PointsFromHeight(int32_t height);   // -11 -> 8, 11 -> 8

// A short text in the choice's script: Latin letters and, where the script's
// code page has them, a few of its own letters.
QString SampleText(uint8_t charset);

class TFontDialog : public QDialog {
    Q_OBJECT
public:
    explicit TFontDialog(QWidget* parent = nullptr);

    // The held font choice.
    const TFontChoice& Font() const { return font_; }
    void SetFont(const TFontChoice& font);

    // Shows the dialog modally with the held choice. On OK the held choice
    // becomes what the controls show and the result is true; otherwise
    // nothing changes and the result is false.
    bool Execute();

    // The choice as the controls show it now.
    TFontChoice Choice() const;

    // The families the dialog offers, fixed-pitch and proportional alike
    // (sorted; the held name is added when the system has no family of that
    // name), and the fixed-pitch ones among them.
    QStringList Families() const;
    QStringList FixedPitchFamilies() const;

    // The controls, for the window that shows the dialog and for tests.
    QLineEdit* FontEdit = nullptr;      // the family; typing selects in FontList
    QListWidget* FontList = nullptr;
    QListWidget* StyleList = nullptr;   // Regular, Italic, Bold, Bold Italic
    QLineEdit* SizeEdit = nullptr;      // points
    QListWidget* SizeList = nullptr;
    QLabel* HeightLabel = nullptr;      // the cell height the phone gets, in pixels
    QCheckBox* StrikeOut = nullptr;
    QCheckBox* Underline = nullptr;
    QComboBox* ColorBox = nullptr;      // item data: the TColor
    QComboBox* ScriptBox = nullptr;     // item data: the character set
    QLabel* Sample = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;
    // Shown when the chosen face lacks Cyrillic letters; OK then asks
    // whether to use it anyway.
    QLabel* CyrillicWarning = nullptr;

    // How many Cyrillic letters a choice's face lacks (MissingCyrillicLetters;
    // tests put a stand-in here).
    std::function<int(const TFontChoice&)> MissingCyrillic;

    void accept() override;

private:
    QStringList families(bool fixedOnly) const;
    void showChoice(const TFontChoice& font);
    void updateSample();
    QString cyrillicWarning(const TFontChoice& c) const;
    void familyTyped(const QString& text);
    void sizeTyped(const QString& text);
    int colorIndex(TColor color);
    int scriptIndex(uint8_t charset);

    TFontChoice font_;       // the held choice
    TFontChoice shown_;      // the choice the controls were filled from
    QString shownSize_;      // the size text they were filled with
    bool filling_ = false;
    bool typing_ = false;   // the list follows the family typed
};

} // namespace volm::ui
