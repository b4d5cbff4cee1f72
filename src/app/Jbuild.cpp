#include "app/Jbuild.h"

#include "app/Ansitext.h"
#include "app/Dialogbuttons.h"
#include "app/Errorbox.h"
#include "app/Filedialogs.h"
#include "book/Fontsheet.h"
#include "book/Manifest.h"
#include "book/Phones.h"
#include "common/Errors.h"
#include "common/Codepage.h"
#include "storage/Project.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

#include <cmath>

namespace volm::ui {

namespace {

TForm3* g_dialog = nullptr;

// The labels take the platform's font (the heading in bold, a size larger),
// so that they read as well as the fields beside them; their colours stay.
QLabel* label(QWidget* parent, const char* name, const QString& text, const QColor& colour)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, colour);
    l->setPalette(p);
    return l;
}

QLineEdit* edit(QWidget* parent, const char* name, const QString& text)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(QString::fromLatin1(name));
    return e;
}

} // namespace

TForm3* buildParamsDialog()
{
    return g_dialog;
}

void setBuildParamsDialog(TForm3* dialog)
{
    g_dialog = dialog;
}

TForm3::TForm3(QWidget* parent, std::filesystem::path registry)
    : QDialog(parent), FormStorage1(std::move(registry))
{
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("JAR Build parameters"));
    // A fixed dialog border without title-bar buttons; its size is what its
    // rows need at the platform's font.
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                   Qt::WindowTitleHint);

    Label1 = label(this, "Label1", QStringLiteral("Please, enter atributes for creating package:"),
                   QColor(0, 128, 128));
    QFont heading = Label1->font();
    heading.setBold(true);
    if (heading.pointSizeF() > 0)
        heading.setPointSizeF(heading.pointSizeF() * 1.15);
    Label1->setFont(heading);
    Label2 = label(this, "Label2", QStringLiteral("Vendor:"), Qt::blue);
    Edit1 = edit(this, "Edit1", QString::fromLatin1(kDefaultVendor));
    Label3 = label(this, "Label3", QStringLiteral("URL:"), Qt::blue);
    Edit2 = edit(this, "Edit2", QString::fromLatin1(kDefaultUrl));
    Label4 = label(this, "Label4", QStringLiteral("Descript:"), Qt::blue);
    Edit3 = edit(this, "Edit3", QString::fromLatin1(kDefaultDescription));
    // Room for the whole of a description of the jad's most bytes is more
    // than a dialog should take; the whole default and a line as long show.
    Edit3->setMinimumWidth(Edit3->fontMetrics().horizontalAdvance(QString(48, QLatin1Char('n'))));
    PhoneLabel = label(this, "PhoneLabel", QStringLiteral("Phone:"), Qt::blue);
    PhoneBox = new QComboBox(this);
    PhoneBox->setObjectName(QStringLiteral("PhoneBox"));
    // "No limit", the phone families by name, sizes of the user's own, "Other...".
    PhoneBox->addItem(QString::fromStdString(JarBudgetText(0)), QStringLiteral("size:0"));
    for (const TPhoneProfile& p : PhoneProfiles())
        PhoneBox->addItem(QString::fromStdString(p.name), QString::fromStdString("phone:" + p.id));
    PhoneBox->addItem(QStringLiteral("Other..."), QStringLiteral("other"));
    PhoneBox->view()->setMinimumWidth(PhoneBox->fontMetrics().horizontalAdvance(QString(48, QLatin1Char('M'))) / 2);
    PhoneBox->setToolTip(QStringLiteral("The phone: its largest jar (a larger book is built as volumes),\n"
                                         "and the heap and store each volume is checked against."));
    connect(PhoneBox, QOverload<int>::of(&QComboBox::activated), this, &TForm3::phoneChosen);

    SizesLabel = label(this, "SizesLabel", QStringLiteral("Sizes:"), Qt::blue);
    SizesEdit = edit(this, "SizesEdit", QString::fromStdString(SheetSizesText(kDefaultSheetSizes)));
    SizesEdit->setToolTip(QStringLiteral("Words layout: the font sizes in pixels the book carries,\n"
                                         "1 to 3 of them, separated by commas (11,14)."));
    HyphensBox = new QCheckBox(QStringLiteral("Hyphens"), this);
    HyphensBox->setObjectName(QStringLiteral("HyphensBox"));
    HyphensBox->setChecked(true);
    HyphensBox->setToolTip(QStringLiteral("Words layout: soft hyphens where the Russian and English\n"
                                          "hyphenation patterns allow a word to break."));

    FolderLabel = label(this, "FolderLabel", QStringLiteral("Book folder:"), Qt::blue);
    FolderEdit = edit(this, "FolderEdit", QString());
    FolderEdit->setReadOnly(true);
    FolderEdit->setToolTip(QStringLiteral("The folder the jar, the jad and manifest.mf are written to."));
    FolderButton = new QPushButton(QStringLiteral("C&hange..."), this);
    FolderButton->setObjectName(QStringLiteral("FolderButton"));
    FolderButton->setAutoDefault(false);
    FolderButton->setToolTip(QStringLiteral("Choose the folder the book folder is made in; it is kept with the book."));
    connect(FolderButton, &QPushButton::clicked, this, &TForm3::chooseFolder);

    BitBtn1 = AcceptButton(this, QStringLiteral("&Build"), "BitBtn1", style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn2 = RejectButton(this, QStringLiteral("Cancel"), "BitBtn2",
                           style()->standardIcon(QStyle::SP_DialogCancelButton));
    BitBtn2->setAutoDefault(false);
    // Between the buttons: the layout of the texts on the phone.
    LayoutBox = new QComboBox(this);
    LayoutBox->setObjectName(QStringLiteral("LayoutBox"));
    LayoutBox->addItem(QStringLiteral("Words layout"), static_cast<int>(TReaderLayout::Words));
    LayoutBox->addItem(QStringLiteral("Grid layout"), static_cast<int>(TReaderLayout::Grid));
    LayoutBox->setToolTip(QStringLiteral("Words: rows break between words and at line ends.\n"
                                         "Grid: every row holds as many characters as fit."));
    // Beside the phone: how the words layout starts a paragraph.
    ParagraphsBox = new QComboBox(this);
    ParagraphsBox->setObjectName(QStringLiteral("ParagraphsBox"));
    ParagraphsBox->addItem(QStringLiteral("Paragraph indent"), static_cast<int>(TParagraphStyle::Indent));
    ParagraphsBox->addItem(QStringLiteral("Paragraph gap"), static_cast<int>(TParagraphStyle::Gap));
    ParagraphsBox->setToolTip(QStringLiteral("Words layout: the first row of a paragraph is indented,\n"
                                             "or a small gap comes before it."));
    connect(LayoutBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this] {
                const bool words = Layout() == TReaderLayout::Words;
                ParagraphsBox->setEnabled(words);
                SizesEdit->setEnabled(words);
                HyphensBox->setEnabled(words);
            });

    // The heading, a row per text, the phone and the paragraphs, the sizes
    // and the hyphens, the book folder, then the buttons with the layout.
    auto* grid = new QGridLayout(this);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    grid->addWidget(Label1, 0, 0, 1, 3);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Edit1, 1, 1, 1, 2);
    grid->addWidget(Label3, 2, 0);
    grid->addWidget(Edit2, 2, 1, 1, 2);
    grid->addWidget(Label4, 3, 0);
    grid->addWidget(Edit3, 3, 1, 1, 2);
    grid->addWidget(PhoneLabel, 4, 0);
    grid->addWidget(PhoneBox, 4, 1);
    grid->addWidget(ParagraphsBox, 4, 2);
    grid->addWidget(SizesLabel, 5, 0);
    grid->addWidget(SizesEdit, 5, 1);
    grid->addWidget(HyphensBox, 5, 2);
    grid->addWidget(FolderLabel, 6, 0);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(FolderEdit, 1);
    folderRow->addWidget(FolderButton);
    grid->addLayout(folderRow, 6, 1, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);
    buttons->addWidget(LayoutBox);
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2);
    grid->addLayout(buttons, 7, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    setTabOrder(Edit1, Edit2);
    setTabOrder(Edit2, Edit3);
    setTabOrder(Edit3, PhoneBox);
    setTabOrder(PhoneBox, ParagraphsBox);
    setTabOrder(ParagraphsBox, SizesEdit);
    setTabOrder(SizesEdit, HyphensBox);
    setTabOrder(HyphensBox, FolderButton);
    setTabOrder(FolderButton, BitBtn1);
    setTabOrder(BitBtn1, LayoutBox);
    setTabOrder(LayoutBox, BitBtn2);
}

TForm3::~TForm3()
{
    if (g_dialog == this)
        g_dialog = nullptr;
    // Restored and never saved since: keep the texts all the same.
    if (restored_) {
        try {
            FormStorage1.save(placement(), pixelsPerInch(), true,
                        {textToAnsi(Edit1->text()), textToAnsi(Edit2->text()), textToAnsi(Edit3->text())}, keptBudget_,
                        keptPhone_);
        } catch (...) {
        }
    }
}

std::string TForm3::VendorText() const
{
    return textToAnsi(Edit1->text());
}

std::string TForm3::UrlText() const
{
    return textToAnsi(Edit2->text());
}

std::string TForm3::DescriptionText() const
{
    return textToAnsi(Edit3->text());
}

std::string TForm3::TextsProblem() const
{
    try {
        CheckOneLine(VendorText(), "The vendor");
        CheckInfoUrl(UrlText(), "The URL");
        CheckOneLine(DescriptionText(), "The description");
        if (Layout() == TReaderLayout::Words && !ParseSheetSizes(SizesText()))
            throw Error("The font sizes \"" + SizesText() + "\" are not 1 to 3 different sizes of " +
                        std::to_string(kMinSheetSize) + " to " + std::to_string(kMaxSheetSize) +
                        " pixels, separated by commas (11,14)");
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

void TForm3::SetLayout(TReaderLayout layout)
{
    LayoutBox->setCurrentIndex(LayoutBox->findData(static_cast<int>(layout)));
    ParagraphsBox->setEnabled(layout == TReaderLayout::Words);
    SizesEdit->setEnabled(layout == TReaderLayout::Words);
    HyphensBox->setEnabled(layout == TReaderLayout::Words);
}

void TForm3::SetSizes(const std::string& sizes)
{
    SizesEdit->setText(QString::fromStdString(sizes));
}

std::string TForm3::SizesText() const
{
    return SizesEdit->text().trimmed().toStdString();
}

void TForm3::SetHyphens(bool on)
{
    HyphensBox->setChecked(on);
}

bool TForm3::Hyphens() const
{
    return HyphensBox->isChecked();
}

TReaderLayout TForm3::Layout() const
{
    return static_cast<TReaderLayout>(LayoutBox->currentData().toInt());
}

void TForm3::SetParagraphs(TParagraphStyle style)
{
    ParagraphsBox->setCurrentIndex(ParagraphsBox->findData(static_cast<int>(style)));
}

TParagraphStyle TForm3::Paragraphs() const
{
    return static_cast<TParagraphStyle>(ParagraphsBox->currentData().toInt());
}

uint64_t TForm3::MaxJar() const
{
    if (const TPhoneProfile* p = PhoneById(Phone()))
        return p->jar;
    const QString v = PhoneBox->currentData().toString();
    return v.startsWith(QStringLiteral("size:")) ? v.mid(5).toULongLong() : 0;
}

std::string TForm3::Phone() const
{
    const QString v = PhoneBox->currentData().toString();
    return v.startsWith(QStringLiteral("phone:")) ? v.mid(6).toStdString() : std::string();
}

void TForm3::SetMaxJar(uint64_t bytes)
{
    const QString key = QStringLiteral("size:%1").arg(bytes);
    int i = PhoneBox->findData(key);
    if (i < 0) {
        // A size of the user's own, listed before "Other...".
        i = PhoneBox->count() - 1;
        PhoneBox->insertItem(i, QString::fromStdString(JarBudgetText(bytes)), key);
    }
    PhoneBox->setCurrentIndex(i);
    lastPhone_ = i;
}

bool TForm3::SetPhone(const std::string& id)
{
    const int i = PhoneBox->findData(QString::fromStdString("phone:" + id));
    if (id.empty() || i < 0)
        return false;
    PhoneBox->setCurrentIndex(i);
    lastPhone_ = i;
    return true;
}

void TForm3::phoneChosen(int index)
{
    if (PhoneBox->itemData(index).toString() == QStringLiteral("other"))
        askForBudget();
    else
        lastPhone_ = index;
}

void TForm3::askForBudget()
{
    PhoneBox->setCurrentIndex(lastPhone_);
    bool ok = false;
    const QString text = QInputDialog::getText(this, QStringLiteral("Phone"),
                                               QStringLiteral("The largest jar the phone takes, in bytes\n"
                                                              "(or with K or M after the number: 64K, 1M):"),
                                               QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return;
    const std::optional<uint64_t> bytes = ParseJarBudget(text.trimmed().toStdString());
    if (!bytes) {
        ShowErrorMessage(QStringLiteral("\"%1\" is not a size: give a number of bytes, or one with K or M "
                                        "after it").arg(text),
                         this);
        return;
    }
    SetMaxJar(*bytes);
}

void TForm3::SetBookFolder(const std::string& projectPath, const std::string& outFolder)
{
    projectPath_ = projectPath;
    outFolder_ = outFolder;
    showFolder();
}

void TForm3::showFolder()
{
    QString shown;
    try {
        shown = QFile::decodeName(BookFolder(projectPath_, outFolder_).c_str());
    } catch (const std::exception&) {
        // A project whose name gives no book: the build says why.
    }
    FolderEdit->setText(shown);
    FolderEdit->setCursorPosition(0);
    FolderEdit->setToolTip(shown);
}

void TForm3::chooseFolder()
{
    const std::string start = outFolder_.empty() ? ProjectFolder(projectPath_) : outFolder_;
    const QString chosen = ChooseFolder(this, QStringLiteral("Folder to make the book folder in"),
                                        QFile::decodeName(start.c_str()));
    if (chosen.isEmpty())
        return;
    std::string folder = QFile::encodeName(QDir::cleanPath(QDir(chosen).absolutePath())).toStdString();
    if (const std::string fault = OutputFolderFault(folder); !fault.empty()) {
        ShowErrorMessage(fromMessage(folder + ": " + fault), this);
        return;
    }
    outFolder_ = std::move(folder);
    showFolder();
}

int TForm3::pixelsPerInch() const
{
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    return s ? static_cast<int>(std::lround(s->logicalDotsPerInch())) : 96;
}

TWindowPlacement TForm3::placement() const
{
    TWindowPlacement p;
    const QRect r = frameGeometry();
    p.showCmd = isMinimized() ? 2 : isMaximized() ? 3 : 1;
    p.left = r.left();
    p.top = r.top();
    p.right = r.left() + r.width();
    p.bottom = r.top() + r.height();
    return p;
}

void TForm3::showEvent(QShowEvent* e)
{
    restore();
    QDialog::showEvent(e);
}

void TForm3::restore()
{
    // Centred on the screen until a stored position says otherwise.
    if (const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->geometry().center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    try {
        const TRestoredPlacement r = FormStorage1.restorePlacement(placement(), pixelsPerInch());
        if (r.apply)
            move(r.placement.left, r.placement.top);
        // The dialog has no title-bar buttons: it is always shown normal, so
        // that it can never be left minimised out of reach.
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
    std::array<std::string, 3> texts{textToAnsi(Edit1->text()), textToAnsi(Edit2->text()),
                                     textToAnsi(Edit3->text())};
    FormStorage1.restoreTexts(texts);
    Edit1->setText(ansiToText(texts[0]));
    Edit2->setText(ansiToText(texts[1]));
    Edit3->setText(ansiToText(texts[2]));
    keptPhone_ = FormStorage1.restorePhone();
    keptBudget_ = FormStorage1.restoreBudget();
    if (!SetPhone(keptPhone_))
        SetMaxJar(keptBudget_);
    restored_ = true;
}

void TForm3::save(bool visible)
{
    try {
        FormStorage1.save(placement(), pixelsPerInch(), visible,
                    {textToAnsi(Edit1->text()), textToAnsi(Edit2->text()), textToAnsi(Edit3->text())}, keptBudget_,
                    keptPhone_);
    } catch (const std::exception& e) {
        ShowException(e, this);
    }
    restored_ = false;
}

void TForm3::RememberBudget()
{
    keptBudget_ = MaxJar();
    keptPhone_ = Phone();
    save(isVisible());
}

void TForm3::done(int r)
{
    if (r == QDialog::Accepted) {
        if (const std::string problem = TextsProblem(); !problem.empty()) {
            ShowErrorMessage(fromMessage(problem), this);
            return;
        }
    }
    if (restored_)
        save(false);
    QDialog::done(r);
}

} // namespace volm::ui
