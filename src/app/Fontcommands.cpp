#include "app/Fontcommands.h"

#include "app/Errorbox.h"
#include "app/Fontdialog.h"
#include "book/Fontimage.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QWidget>

#include <algorithm>

namespace volm::ui {

TFontSettings CurrentFontSettings(const TFontCommandTarget& target)
{
    TFontSettings s;
    s.font = target.FontDialog1->Font();
    s.useCustomFont = target.Usecustomfont1->isChecked();
    return s;
}

void ApplyEditorFont(QWidget* editor, const TFontChoice& choice)
{
    if (!editor)
        return;
    // The editor shows the choice at its height; the font image fits the
    // font into cells of that height (FontImageFont).
    editor->setFont(ChoiceFont(choice, static_cast<int>(std::min<int64_t>(FontCellHeight(choice), 512))));
    QPalette p = editor->palette();
    QColor ink = QApplication::palette(editor).color(QPalette::Text);
    if (!IsSystemColor(choice.color)) {
        const TRGBQuad rgb = GlyphColor(choice.color);
        ink = QColor(rgb.red, rgb.green, rgb.blue);
    }
    p.setColor(QPalette::Text, ink);
    editor->setPalette(p);
}

void RestoreFontSettings(const TFontCommandTarget& target, const TFontSettings& settings)
{
    target.FontDialog1->SetFont(settings.font);
    target.Usecustomfont1->setChecked(settings.useCustomFont);
    ApplyEditorFont(target.Editor, settings.font);
}

namespace {

// Save font settings, then the editor takes the dialog's font; a failure
// goes to the error box and leaves the editor as it was.
void saveAndApply(const TFontCommandTarget& target)
{
    try {
        if (target.SaveFontSettings)
            target.SaveFontSettings(CurrentFontSettings(target));
    } catch (const std::exception& e) {
        ShowException(e, target.parent);
        return;
    }
    ApplyEditorFont(target.Editor, target.FontDialog1->Font());
}

} // namespace

bool ChooseFont(const TFontCommandTarget& target)
{
    if (!target.FontDialog1->Execute())
        return false;
    target.Usecustomfont1->setChecked(true);
    saveAndApply(target);
    return true;
}

void SwitchCustomFont(const TFontCommandTarget& target)
{
    saveAndApply(target);
}

} // namespace volm::ui
