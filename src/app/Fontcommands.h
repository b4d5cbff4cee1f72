#pragma once
// The project window's two font commands, "&Font" (FontClick) and "&Use custom
// font" (Usecustomfont1Click): what they do to the font choice held by the
// font dialog (FontDialog1), the switch (the check item Usecustomfont1), the
// project's font-settings stream and the topic editor's font. The dialog
// itself is Fontdialog; the font a choice gives is Fontimage's ChoiceFont.

#include "storage/Fontsettings.h"

#include <functional>

class QAction;
class QWidget;

namespace volm::ui {

class TFontDialog;

// What the project window's font commands work on.
struct TFontCommandTarget {
    TFontDialog* FontDialog1 = nullptr;   // holds the font choice
    QAction* Usecustomfont1 = nullptr;    // the switch (a check item)
    QWidget* Editor = nullptr;            // the topic text editor
    // Save font settings: rewrites the project's font-settings stream.
    std::function<void(const TFontSettings&)> SaveFontSettings;
    QWidget* parent = nullptr;            // for the error box
};

// The settings as the window holds them: the dialog's choice and the switch.
TFontSettings CurrentFontSettings(const TFontCommandTarget& target);

// Gives the editor a font choice: ChoiceFont at the choice's height in pixels,
// in the choice's colour (system colours as the editor's own text colour).
void ApplyEditorFont(QWidget* editor, const TFontChoice& choice);

// After a project is opened: the dialog, the switch and the editor take the
// stored settings.
void RestoreFontSettings(const TFontCommandTarget& target, const TFontSettings& settings);

// "&Font": shows the dialog; on OK switches the custom font on, saves the
// settings and gives the editor the chosen font. Returns false when cancelled
// (nothing changed, nothing written). A failure to save is shown in the error
// box; the switch is on by then and the editor keeps its font.
bool ChooseFont(const TFontCommandTarget& target);

// "&Use custom font", called when the check item was triggered (the check mark
// already inverted): saves the settings and gives the editor the dialog's font.
// A failure to save is shown in the error box; the check mark stays inverted
// and the editor keeps its font.
void SwitchCustomFont(const TFontCommandTarget& target);

} // namespace volm::ui
