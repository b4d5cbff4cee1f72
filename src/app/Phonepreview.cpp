#include "app/Phonepreview.h"

#include "app/Ansitext.h"
#include "app/Editortext.h"
#include "book/Bookpreview.h"
#include "book/Buildparams.h"
#include "book/Fontimage.h"
#include "book/Phones.h"
#include "common/Ansiwriter.h"
#include "common/Errors.h"
#include "common/Registry.h"
#include "storage/Project.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTimer>
#include <QVBoxLayout>

namespace volm::ui {
namespace {

const char* const kPreviewKey = "\\Volm_Orvane\\Preview";
const char* const kCommonSizes[] = {"128x128", "128x160", "176x208", "176x220", "240x320", "320x240"};

std::optional<std::string> stored(const char* name)
{
    try {
        TRegistry reg(RegRoot::CurrentUser, {});
        if (reg.OpenKeyReadOnly(kPreviewKey))
            return reg.ReadValue(name);
    } catch (const Error&) {
        // an unreadable registry: the defaults
    }
    return std::nullopt;
}

void store(const char* name, const std::string& value)
{
    try {
        TRegistry reg(RegRoot::CurrentUser, {});
        reg.OpenKey(kPreviewKey, true);
        reg.WriteString(name, value);
    } catch (const Error&) {
        // not kept: the pane works all the same
    }
}

// The byte offset in the topic's stored text (paragraphs ended by CR LF) of
// the editor's cursor.
size_t cursorOffset(QPlainTextEdit* editor)
{
    const QTextCursor cursor = editor->textCursor();
    TAnsiWriter writer(TAnsiFallback::Nearest);
    size_t offset = 0;
    for (QTextBlock b = editor->document()->begin(); b.isValid(); b = b.next()) {
        const bool here = b == cursor.block();
        const QString text = here ? b.text().left(cursor.positionInBlock()) : b.text();
        const QStringList parts = text.split(QChar::LineSeparator);
        for (qsizetype k = 0; k < parts.size(); ++k)
            offset += textToAnsi(parts[k], writer).size() + (k + 1 < parts.size() ? 2 : 0);
        if (here)
            return offset;
        offset += 2;
    }
    return offset;
}

} // namespace

TPhonePreview::TPhonePreview(TProject& project, QPlainTextEdit* editor, TEditorText& text,
                             std::function<QString()> projectPath, QWidget* parent)
    : QWidget(parent), project_(project), editor_(editor), text_(text), projectPath_(std::move(projectPath))
{
    setObjectName(QStringLiteral("TPhonePreview"));
    SizeBox = new QComboBox(this);
    SizeBox->setObjectName(QStringLiteral("SizeBox"));
    SizeBox->setToolTip(QStringLiteral("The phone's screen: the area the reader draws on"));
    for (const char* s : kCommonSizes)
        SizeBox->addItem(QString::fromLatin1(s), QString::fromLatin1(s));
    try {
        const TBuildTexts texts = storedBuildTexts();
        if (const TPhoneProfile* phone = texts.phone.empty() ? nullptr : PhoneById(texts.phone))
            for (const TCanvasSize& c : phone->canvases) {
                const QString size = QStringLiteral("%1x%2").arg(c.width).arg(c.height);
                if (SizeBox->findData(size) < 0)
                    SizeBox->addItem(size + QStringLiteral(" (") + QString::fromStdString(phone->name) +
                                         QStringLiteral(")"),
                                     size);
            }
    } catch (const Error&) {
        // no stored phone family
    }
    const int chosen = SizeBox->findData(QString::fromStdString(stored("Size").value_or("176x208")));
    SizeBox->setCurrentIndex(chosen >= 0 ? chosen : SizeBox->findData(QStringLiteral("176x208")));

    PageUpButton = new QPushButton(QStringLiteral("Page &Up"), this);
    PageUpButton->setObjectName(QStringLiteral("PageUpButton"));
    PageUpButton->setToolTip(QStringLiteral("The phone's screen before this one"));
    PageDownButton = new QPushButton(QStringLiteral("Page Dow&n"), this);
    PageDownButton->setObjectName(QStringLiteral("PageDownButton"));
    PageDownButton->setToolTip(QStringLiteral("The phone's next screen, as its Right key shows it"));
    PageLabel = new QLabel(this);
    PageLabel->setObjectName(QStringLiteral("PageLabel"));
    ScreenLabel = new QLabel(this);
    ScreenLabel->setObjectName(QStringLiteral("ScreenLabel"));
    ScreenLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    ScreenLabel->setWordWrap(true);

    auto* size = new QHBoxLayout;
    size->addWidget(SizeBox);
    size->addWidget(PageLabel, 1, Qt::AlignCenter);
    auto* pages = new QHBoxLayout;
    pages->addWidget(PageUpButton);
    pages->addWidget(PageDownButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(size);
    layout->addLayout(pages);
    layout->addWidget(ScreenLabel, 1);

    PreviewAction = new QAction(QStringLiteral("Phone &preview"), this);
    PreviewAction->setObjectName(QStringLiteral("PreviewAction"));
    PreviewAction->setStatusTip(QStringLiteral("Shows the page the phone shows beside the editor"));
    PreviewAction->setCheckable(true);
    PreviewAction->setShortcut(QKeySequence(Qt::Key_F12));
    PreviewAction->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    PreviewAction->setChecked(stored("Shown").value_or("1") != "0");
    if (!PreviewAction->isChecked())
        hide();

    connect(PreviewAction, &QAction::toggled, this, &TPhonePreview::shownChanged);
    connect(SizeBox, &QComboBox::currentIndexChanged, this, &TPhonePreview::sizeChosen);
    connect(PageUpButton, &QPushButton::clicked, this, &TPhonePreview::PageUp);
    connect(PageDownButton, &QPushButton::clicked, this, &TPhonePreview::PageDown);
    connect(editor_, &QPlainTextEdit::textChanged, this, &TPhonePreview::schedule);
    connect(editor_, &QPlainTextEdit::cursorPositionChanged, this, &TPhonePreview::cursorMoved);
    schedule();
}

TPhonePreview::~TPhonePreview() = default;

void TPhonePreview::shownChanged(bool shown)
{
    setVisible(shown);
    store("Shown", shown ? "1" : "0");
    schedule();
}

void TPhonePreview::sizeChosen()
{
    store("Size", SizeBox->currentData().toString().toStdString());
    schedule();
}

void TPhonePreview::cursorMoved()
{
    followCursor_ = true;
    schedule();
}

void TPhonePreview::PageUp()
{
    followCursor_ = false;
    if (page_ > 0)
        --page_;
    Refresh();
}

void TPhonePreview::PageDown()
{
    followCursor_ = false;
    if (page_ + 1 < pages_)
        ++page_;
    Refresh();
}

// Keystrokes that come together are drawn once.
void TPhonePreview::schedule()
{
    if (pending_)
        return;
    pending_ = true;
    QTimer::singleShot(0, this, [this] {
        if (pending_)
            Refresh();
    });
}

// What the book's look depends on besides the text in the editor.
std::string TPhonePreview::signature() const
{
    std::string s = projectPath_().toStdString() + '\n';
    s += std::to_string(project_.Layout() ? static_cast<int>(*project_.Layout()) : -1);
    s += std::to_string(static_cast<int>(project_.Paragraphs().value_or(TParagraphStyle::Indent)));
    s += project_.SheetSizes().value_or("") + '\n' + std::to_string(project_.Hyphens().value_or(true));
    const TFontSettings& f = project_.FontSettings();
    s += std::to_string(f.useCustomFont) + f.font.name + std::to_string(f.font.height) + project_.Title() + '\n';
    for (size_t i = 0; i < project_.TopicCount(); ++i)
        s += project_.Topic(i).Name + '\n';
    return s;
}

void TPhonePreview::Refresh()
{
    pending_ = false;
    if (isHidden())
        return;
    const std::optional<size_t> topic = text_.TopicIndex();
    if (!topic || !project_.IsOpen()) {
        pages_ = page_ = 0;
        screen_ = QImage();
        PageLabel->clear();
        ScreenLabel->setText(QStringLiteral("No topic selected"));
        PageUpButton->setEnabled(false);
        PageDownButton->setEnabled(false);
        return;
    }
    const QStringList wh = SizeBox->currentData().toString().split(u'x');
    const int width = wh.value(0).toInt(), height = wh.value(1).toInt();
    try {
        const std::string now = signature();
        if (!book_ || now != bookSignature_) {
            uint64_t maxJar = 0;
            try {
                const TBuildTexts texts = storedBuildTexts();
                maxJar = texts.maxJar;
                if (const TPhoneProfile* phone = texts.phone.empty() ? nullptr : PhoneById(texts.phone))
                    maxJar = phone->jar;
            } catch (const Error&) {
                // no stored budget
            }
            book_.reset();
            book_ = std::make_unique<TBookPreview>(project_, projectPath_().toStdString(), RenderFontSheet,
                                                   FontImagePng, maxJar);
            bookSignature_ = now;
        }
        const std::string text = text_.Text();
        const std::string phone = book_->PhoneText(text);
        if (book_->SetText(*topic, phone, text))
            book_->Refresh();   // a letter the fonts had no glyph for
        const size_t font = book_->DefaultFont(width);
        const TReaderPage reader = book_->Page(*topic, phone, font, width, height);
        const std::vector<int> starts = reader.PageStarts();
        pages_ = static_cast<int>(starts.size());
        if (followCursor_)
            page_ = static_cast<int>(TReaderPage::PageOf(
                starts, TBookPreview::PhoneOffset(text, phone, cursorOffset(editor_))));
        page_ = std::clamp(page_, 0, pages_ - 1);
        const TReaderScreen screen = reader.Screen(starts[static_cast<size_t>(page_)]);
        const std::vector<uint32_t> pixels = book_->Pixels(screen, font, false, width, height);
        screen_ = QImage(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<uint32_t*>(screen_.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = 0xFF000000u | pixels[static_cast<size_t>(y) * static_cast<size_t>(width) +
                                               static_cast<size_t>(x)];
        }
        ScreenLabel->setPixmap(QPixmap::fromImage(screen_));
        ScreenLabel->setMinimumSize(width, height);
        PageLabel->setText(QStringLiteral("Page %1 of %2").arg(page_ + 1).arg(pages_));
        PageUpButton->setEnabled(page_ > 0);
        PageDownButton->setEnabled(page_ + 1 < pages_);
    } catch (const Error& e) {
        book_.reset();
        pages_ = page_ = 0;
        screen_ = QImage();
        PageLabel->clear();
        ScreenLabel->setText(QString::fromStdString(e.what()));
    }
}

} // namespace volm::ui
