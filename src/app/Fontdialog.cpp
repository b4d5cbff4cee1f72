#include "app/Fontdialog.h"

#include "app/Dialogbuttons.h"
#include "app/Errorbox.h"
#include "book/Fontimage.h"
#include "app/Ansitext.h"
#include "common/Codepage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace volm::ui {

namespace {

constexpr int kPixelsPerInch = 96;
constexpr int kSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};

struct TNamedColor {
    TColor color;
    const char* name;
};
// The colours the desktop's font dialog offers, 0x00BBGGRR.
constexpr TNamedColor kColors[] = {
    {0x000000, "Black"},  {0x000080, "Maroon"}, {0x008000, "Green"},   {0x008080, "Olive"},
    {0x800000, "Navy"},   {0x800080, "Purple"}, {0x808000, "Teal"},    {0x808080, "Gray"},
    {0xC0C0C0, "Silver"}, {0x0000FF, "Red"},    {0x00FF00, "Lime"},    {0x00FFFF, "Yellow"},
    {0xFF0000, "Blue"},   {0xFF00FF, "Fuchsia"}, {0xFFFF00, "Aqua"},   {0xFFFFFF, "White"},
};

enum { stRegular, stItalic, stBold, stBoldItalic };

QIcon swatch(const QColor& c)
{
    QPixmap p(24, 12);
    p.fill(c);
    return QIcon(p);
}

// A colour as the font image draws it.
QColor inkColor(TColor color)
{
    const TRGBQuad rgb = GlyphColor(color);
    return QColor(rgb.red, rgb.green, rgb.blue);
}

} // namespace

const std::vector<TScriptName>& ScriptNames()
{
    static const std::vector<TScriptName> names = {
        {ANSI_CHARSET, "Western"},
        {RUSSIAN_CHARSET, "Cyrillic"},
        {EASTEUROPE_CHARSET, "Central European"},
        {GREEK_CHARSET, "Greek"},
        {TURKISH_CHARSET, "Turkish"},
        {HEBREW_CHARSET, "Hebrew"},
        {ARABIC_CHARSET, "Arabic"},
        {BALTIC_CHARSET, "Baltic"},
        {VIETNAMESE_CHARSET, "Vietnamese"},
        {THAI_CHARSET, "Thai"},
        {OEM_CHARSET, "OEM/DOS"},
        {MAC_CHARSET, "Mac"},
        {SYMBOL_CHARSET, "Symbol"},
        {SHIFTJIS_CHARSET, "Japanese"},
        {HANGEUL_CHARSET, "Hangul"},
        {JOHAB_CHARSET, "Johab"},
        {GB2312_CHARSET, "CHINESE_GB2312"},
        {CHINESEBIG5_CHARSET, "CHINESE_BIG5"},
        {DEFAULT_CHARSET, "Default"},
    };
    return names;
}

QString ScriptName(uint8_t charset)
{
    for (const TScriptName& s : ScriptNames())
        if (s.charset == charset)
            return QString::fromLatin1(s.name);
    return QStringLiteral("Character set %1").arg(charset);
}

int32_t HeightFromPoints(int points)
{
    return -static_cast<int32_t>(std::lround(points * static_cast<double>(kPixelsPerInch) / 72.0));
}

int PointsFromHeight(int32_t height)
{
    const double px = std::abs(static_cast<double>(height));
    return static_cast<int>(std::lround(px * 72.0 / kPixelsPerInch));
}

QString SampleText(uint8_t charset)
{
    QString s = QStringLiteral("AaBbYyZz");
    if (charset == SYMBOL_CHARSET)
        return s;
    QString own;
    for (int b : {0xC0, 0xE0, 0xC1, 0xE1, 0xC2, 0xE2, 0xC3, 0xE3}) {
        const char16_t c = FontImageCharacter(charset, static_cast<uint8_t>(b));
        if (c != kNoChar && QChar(c).isLetter() && !own.contains(QChar(c)))
            own += QChar(c);
        if (own.size() == 4)
            break;
    }
    if (!own.isEmpty())
        s += QLatin1Char(' ') + own;
    return s;
}

// ---------------------------------------------------------------------------

TFontDialog::TFontDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FontDialog1"));
    MissingCyrillic = [](const TFontChoice& c) { return MissingCyrillicLetters(c); };
    setWindowTitle(QStringLiteral("Font"));
    setModal(true);

    auto* grid = new QGridLayout(this);

    auto* fontLabel = new QLabel(QStringLiteral("&Font:"), this);
    FontEdit = new QLineEdit(this);
    FontEdit->setObjectName(QStringLiteral("FontEdit"));
    fontLabel->setBuddy(FontEdit);
    FontList = new QListWidget(this);
    FontList->setObjectName(QStringLiteral("FontList"));
    FontList->setMinimumWidth(180);

    auto* styleLabel = new QLabel(QStringLiteral("Font st&yle:"), this);
    StyleList = new QListWidget(this);
    StyleList->setObjectName(QStringLiteral("StyleList"));
    StyleList->addItems({QStringLiteral("Regular"), QStringLiteral("Italic"), QStringLiteral("Bold"),
                         QStringLiteral("Bold Italic")});
    styleLabel->setBuddy(StyleList);
    StyleList->setMaximumWidth(120);

    auto* sizeLabel = new QLabel(QStringLiteral("&Size:"), this);
    SizeEdit = new QLineEdit(this);
    SizeEdit->setObjectName(QStringLiteral("SizeEdit"));
    SizeEdit->setValidator(new QIntValidator(1, 999, SizeEdit));
    sizeLabel->setBuddy(SizeEdit);
    SizeList = new QListWidget(this);
    SizeList->setObjectName(QStringLiteral("SizeList"));
    for (int pt : kSizes)
        SizeList->addItem(QString::number(pt));
    SizeList->setMaximumWidth(70);
    SizeEdit->setMaximumWidth(70);
    HeightLabel = new QLabel(this);
    HeightLabel->setObjectName(QStringLiteral("HeightLabel"));
    HeightLabel->setToolTip(QStringLiteral("The height of a character cell in the phone's font image"));

    OkButton = AcceptButton(this, QStringLiteral("OK"), "OkButton");
    CancelButton = RejectButton(this, QStringLiteral("Cancel"), "CancelButton");
    auto* buttons = ButtonBox(Qt::Vertical, OkButton, CancelButton);

    grid->addWidget(fontLabel, 0, 0);
    grid->addWidget(FontEdit, 1, 0);
    grid->addWidget(FontList, 2, 0);
    grid->addWidget(styleLabel, 0, 1);
    grid->addWidget(StyleList, 1, 1, 2, 1);
    grid->addWidget(sizeLabel, 0, 2);
    grid->addWidget(SizeEdit, 1, 2);
    grid->addWidget(SizeList, 2, 2);
    grid->addWidget(HeightLabel, 3, 2);
    grid->addLayout(buttons, 1, 3, 2, 1);

    auto* effects = new QGroupBox(QStringLiteral("Effects"), this);
    auto* effectsLayout = new QVBoxLayout(effects);
    StrikeOut = new QCheckBox(QStringLiteral("Stri&keout"), effects);
    StrikeOut->setObjectName(QStringLiteral("StrikeOut"));
    Underline = new QCheckBox(QStringLiteral("&Underline"), effects);
    Underline->setObjectName(QStringLiteral("Underline"));
    auto* colorLabel = new QLabel(QStringLiteral("&Color:"), effects);
    ColorBox = new QComboBox(effects);
    ColorBox->setObjectName(QStringLiteral("ColorBox"));
    colorLabel->setBuddy(ColorBox);
    for (const TNamedColor& c : kColors) {
        ColorBox->addItem(swatch(inkColor(c.color)), QString::fromLatin1(c.name),
                          QVariant::fromValue<qint32>(c.color));
    }
    effectsLayout->addWidget(StrikeOut);
    effectsLayout->addWidget(Underline);
    effectsLayout->addWidget(colorLabel);
    effectsLayout->addWidget(ColorBox);
    effectsLayout->addStretch(1);

    auto* sampleBox = new QGroupBox(QStringLiteral("Sample"), this);
    auto* sampleLayout = new QVBoxLayout(sampleBox);
    Sample = new QLabel(sampleBox);
    Sample->setObjectName(QStringLiteral("Sample"));
    Sample->setAlignment(Qt::AlignCenter);
    Sample->setMinimumSize(200, 60);
    Sample->setAutoFillBackground(true);
    sampleLayout->addWidget(Sample, 1);
    auto* scriptLabel = new QLabel(QStringLiteral("Sc&ript:"), sampleBox);
    ScriptBox = new QComboBox(sampleBox);
    ScriptBox->setObjectName(QStringLiteral("ScriptBox"));
    scriptLabel->setBuddy(ScriptBox);
    for (const TScriptName& s : ScriptNames())
        ScriptBox->addItem(QString::fromLatin1(s.name), QVariant::fromValue<int>(s.charset));
    sampleLayout->addWidget(scriptLabel);
    sampleLayout->addWidget(ScriptBox);

    CyrillicWarning = new QLabel(this);
    CyrillicWarning->setObjectName(QStringLiteral("CyrillicWarning"));
    CyrillicWarning->setWordWrap(true);
    CyrillicWarning->setVisible(false);
    {
        QPalette warn = CyrillicWarning->palette();
        warn.setColor(QPalette::WindowText, QColor(0xB0, 0x00, 0x00));
        CyrillicWarning->setPalette(warn);
    }

    grid->addWidget(effects, 4, 0);
    grid->addWidget(sampleBox, 4, 1, 1, 2);
    grid->addWidget(CyrillicWarning, 5, 0, 1, 4);
    grid->setRowStretch(2, 1);

    connect(FontEdit, &QLineEdit::textEdited, this, &TFontDialog::familyTyped);
    connect(FontList, &QListWidget::currentTextChanged, this, [this](const QString& text) {
        if (!filling_ && !typing_ && !FontEdit->hasFocus())
            FontEdit->setText(text);
        updateSample();
    });
    connect(SizeEdit, &QLineEdit::textEdited, this, &TFontDialog::sizeTyped);
    connect(SizeList, &QListWidget::currentTextChanged, this, [this](const QString& text) {
        if (!filling_ && !text.isEmpty() && !SizeEdit->hasFocus())
            SizeEdit->setText(text);
        updateSample();
    });
    connect(StyleList, &QListWidget::currentRowChanged, this, &TFontDialog::updateSample);
    connect(StrikeOut, &QCheckBox::toggled, this, &TFontDialog::updateSample);
    connect(Underline, &QCheckBox::toggled, this, &TFontDialog::updateSample);
    connect(ColorBox, &QComboBox::currentIndexChanged, this, &TFontDialog::updateSample);
    connect(ScriptBox, &QComboBox::currentIndexChanged, this, &TFontDialog::updateSample);

    showChoice(font_);
}

QStringList TFontDialog::FixedPitchFamilies() const
{
    return families(true);
}

QStringList TFontDialog::Families() const
{
    return families(false);
}

QStringList TFontDialog::families(bool fixedOnly) const
{
    QStringList out;
    for (const QString& family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family) || (fixedOnly && !QFontDatabase::isFixedPitch(family)))
            continue;
        // The project file keeps the name in Windows-1251.
        if (textToAnsiExact(family))
            out << family;
    }
    const QString held = ansiToText(font_.name);
    if (!held.isEmpty() && !out.contains(held, Qt::CaseInsensitive))
        out << held;
    out.sort(Qt::CaseInsensitive);
    out.removeDuplicates();
    return out;
}

void TFontDialog::SetFont(const TFontChoice& font)
{
    font_ = font;
    showChoice(font_);
}

bool TFontDialog::Execute()
{
    showChoice(font_);
    FontList->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    font_ = Choice();
    return true;
}

int TFontDialog::colorIndex(TColor color)
{
    int i = ColorBox->findData(QVariant::fromValue<qint32>(color));
    if (i >= 0)
        return i;
    // A colour the list lacks (the window-text colour, a colour chosen
    // elsewhere) is offered first, so that OK keeps it.
    const QString name = color == clWindowText ? QStringLiteral("Window text")
                         : IsSystemColor(color)
                             ? QStringLiteral("System colour")
                             : QStringLiteral("Custom");
    ColorBox->insertItem(0, swatch(inkColor(color)), name, QVariant::fromValue<qint32>(color));
    return 0;
}

int TFontDialog::scriptIndex(uint8_t charset)
{
    int i = ScriptBox->findData(QVariant::fromValue<int>(charset));
    if (i >= 0)
        return i;
    ScriptBox->addItem(ScriptName(charset), QVariant::fromValue<int>(charset));
    return ScriptBox->count() - 1;
}

void TFontDialog::showChoice(const TFontChoice& font)
{
    filling_ = true;
    shown_ = font;

    FontList->clear();
    FontList->addItems(Families());
    const QString family = ansiToText(font.name);
    const auto found = FontList->findItems(family, Qt::MatchFixedString);
    if (!found.isEmpty())
        FontList->setCurrentItem(found.front());
    FontEdit->setText(found.isEmpty() ? family : found.front()->text());

    const bool bold = font.style & fsBold, italic = font.style & fsItalic;
    StyleList->setCurrentRow(bold ? (italic ? stBoldItalic : stBold) : (italic ? stItalic : stRegular));

    shownSize_ = QString::number(PointsFromHeight(font.height));
    SizeEdit->setText(shownSize_);
    const auto size = SizeList->findItems(shownSize_, Qt::MatchExactly);
    if (!size.isEmpty())
        SizeList->setCurrentItem(size.front());
    else
        SizeList->setCurrentRow(-1);

    StrikeOut->setChecked(font.style & fsStrikeOut);
    Underline->setChecked(font.style & fsUnderline);
    ColorBox->setCurrentIndex(colorIndex(font.color));
    ScriptBox->setCurrentIndex(scriptIndex(font.charset));

    filling_ = false;
    updateSample();
}

TFontChoice TFontDialog::Choice() const
{
    TFontChoice c = shown_;
    if (QListWidgetItem* item = FontList->currentItem())
        c.name = textToAnsiExact(item->text()).value_or(shown_.name);
    const QString size = SizeEdit->text().trimmed();
    if (size != shownSize_) {
        bool ok = false;
        const int pt = size.toInt(&ok);
        if (ok && pt > 0)
            c.height = HeightFromPoints(pt);
    }
    c.style = 0;
    switch (StyleList->currentRow()) {
    case stItalic: c.style |= fsItalic; break;
    case stBold: c.style |= fsBold; break;
    case stBoldItalic: c.style |= fsBold | fsItalic; break;
    default: break;
    }
    if (Underline->isChecked())
        c.style |= fsUnderline;
    if (StrikeOut->isChecked())
        c.style |= fsStrikeOut;
    if (ColorBox->currentIndex() >= 0)
        c.color = ColorBox->currentData().value<qint32>();
    if (ScriptBox->currentIndex() >= 0)
        c.charset = static_cast<uint8_t>(ScriptBox->currentData().toInt());
    // Fixed-pitch and proportional fonts are offered; the pitch is the
    // family's (a family the system lacks keeps the held one).
    const QString family = ansiToText(c.name);
    if (QFontDatabase::hasFamily(family) && family.compare(ansiToText(shown_.name), Qt::CaseInsensitive) != 0)
        c.pitch = QFontDatabase::isFixedPitch(family) ? fpFixed : fpVariable;
    return c;
}

void TFontDialog::familyTyped(const QString& text)
{
    if (text.isEmpty())
        return;
    QListWidgetItem* best = nullptr;
    for (int i = 0; i < FontList->count(); ++i) {
        QListWidgetItem* item = FontList->item(i);
        if (item->text().compare(text, Qt::CaseInsensitive) == 0) {
            best = item;
            break;
        }
        if (!best && item->text().startsWith(text, Qt::CaseInsensitive))
            best = item;
    }
    if (best) {
        // What is typed stays as typed (the list offers many families that
        // start alike).
        typing_ = true;
        FontList->setCurrentItem(best);
        typing_ = false;
        FontList->scrollToItem(best);
    }
}

void TFontDialog::sizeTyped(const QString& text)
{
    const auto found = SizeList->findItems(text.trimmed(), Qt::MatchExactly);
    filling_ = true;
    if (!found.isEmpty())
        SizeList->setCurrentItem(found.front());
    else
        SizeList->setCurrentRow(-1);
    filling_ = false;
    updateSample();
}

void TFontDialog::updateSample()
{
    if (filling_)
        return;
    const bool sizeOk = SizeEdit->hasAcceptableInput() || SizeEdit->text().trimmed() == shownSize_;
    OkButton->setEnabled(FontList->currentItem() != nullptr && sizeOk);
    // The sample shows what the phone gets: the font image's font for the
    // choice's cell, in the image's colour on its white.
    const TFontChoice c = Choice();
    const int64_t h = FontCellHeight(c);
    Sample->setFont(FontImageFont(c, static_cast<int>(std::clamp<int64_t>(h, 1, kMaxFontCell))));
    QPalette p = Sample->palette();
    p.setColor(QPalette::WindowText, inkColor(c.color));
    p.setColor(QPalette::Window, Qt::white);
    Sample->setPalette(p);
    // The phone's font always holds the book's code page (Windows-1251),
    // whatever script is chosen: the sample shows its letters.
    Sample->setText(SampleText(RUSSIAN_CHARSET));
    HeightLabel->setText(QStringLiteral("%1 px").arg(h));
    const QString warning = cyrillicWarning(c);
    CyrillicWarning->setText(warning);
    CyrillicWarning->setVisible(!warning.isEmpty());
}

QString TFontDialog::cyrillicWarning(const TFontChoice& c) const
{
    if (c.name.empty() || !MissingCyrillic)
        return {};
    const int missing = MissingCyrillic(c);
    if (missing == 0)
        return {};
    const QString name = QString::fromStdString(cp1251ToUtf8(c.name));
    if (missing >= 66)
        return QStringLiteral("The font \"%1\" has no Cyrillic letters: the phone would show boxes for the "
                              "book's Russian text. Choose a font with Cyrillic.").arg(name);
    return QStringLiteral("The font \"%1\" lacks %2 of the 66 Cyrillic letters: the phone would show boxes for "
                          "them. Choose a font with Cyrillic.").arg(name).arg(missing);
}

void TFontDialog::accept()
{
    const QString warning = cyrillicWarning(Choice());
    if (!warning.isEmpty() &&
        !AskYesNo(warning + QStringLiteral("\n\nUse it anyway?"), false, this))
        return;
    QDialog::accept();
}

} // namespace volm::ui
