#include "app/Sharedmemory.h"

#include "app/Errorbox.h"
#include "app/Filetype.h"
#include "app/Versionrecord.h"
#include "common/Fileio.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QFrame>
#include <QPushButton>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <cstring>

namespace volm {

namespace {
// The program file is read whole to find its version record; no program of
// ours comes near this.
constexpr uint64_t kMaxProgramFile = 1u << 30;

uint32_t le32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
} // namespace

std::string GetVersionString(const std::string& path)
{
    std::string bytes;
    try {
        bytes = ReadWholeFile(path, kMaxProgramFile);
    } catch (const Error&) {
        return {};
    }
    const std::string_view all(bytes);
    const std::string_view tag(kVersionTag, sizeof kVersionTag);
    for (size_t at = all.find(tag); at != std::string_view::npos; at = all.find(tag, at + 1)) {
        const size_t info = at + tag.size();
        if (all.size() - info < sizeof(TFixedFileInfo))
            break;
        const char* p = bytes.data() + info;
        if (le32(p) != kVersionSignature)
            continue; // the tag alone, e.g. in the code that looks for it
        const uint32_t ms = le32(p + 8), ls = le32(p + 12);
        return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
               std::to_string(ls >> 16) + ". Build " + std::to_string(ls & 0xFFFF);
    }
    return {};
}

} // namespace volm

namespace volm::ui {

void TClickLabel::mouseReleaseEvent(QMouseEvent* e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        emit clicked();
}

std::function<void(const QUrl&)>& TAboutBox::urlOpener()
{
    static std::function<void(const QUrl&)> open = [](const QUrl& url) {
        QDesktopServices::openUrl(url); // a failure is not reported
    };
    return open;
}

namespace {
TClickLabel* link(QWidget* parent, const QString& text, const char* name)
{
    auto* l = new TClickLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
    l->setCursor(Qt::PointingHandCursor);
    return l;
}
} // namespace

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(291, 197);

    RaisedPanel = new QFrame(this);
    RaisedPanel->setObjectName(QStringLiteral("RaisedPanel"));
    RaisedPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    RaisedPanel->setGeometry(8, 8, 275, 145);

    ProgramIcon = new TClickLabel(RaisedPanel);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(QPixmap(QStringLiteral(":/volm/about.png")));
    ProgramIcon->setGeometry(8, 8, 152, 60);
    ProgramIcon->setCursor(Qt::PointingHandCursor);

    ProductName = new QLabel(QStringLiteral("Volm creator"), RaisedPanel);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont bold = ProductName->font();
    bold.setBold(true);
    ProductName->setFont(bold);
    ProductName->setGeometry(168, 12, 100, 16);

    Version = new QLabel(QStringLiteral("Version:"), RaisedPanel);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setGeometry(168, 32, 100, 16);

    Copyright = link(RaisedPanel, QString::fromLatin1(kMakerNotice), "Copyright");
    Copyright->setWordWrap(true);
    Copyright->setGeometry(168, 48, 104, 30);

    Label1 = link(RaisedPanel, QStringLiteral("Forum"), "Label1");
    Label1->setGeometry(8, 76, 60, 16);

    Comments = new QLabel(QStringLiteral("A new look on how mobile can be used ;)"), RaisedPanel);
    Comments->setObjectName(QStringLiteral("Comments"));
    Comments->setWordWrap(true);
    Comments->setGeometry(8, 96, 260, 16);

    Label2 = link(RaisedPanel,
                  QStringLiteral("Порадовать автора подарком:\n") + QString::fromLatin1(kDonationId),
                  "Label2");
    Label2->setGeometry(8, 114, 260, 28);

    CloseButton = new QPushButton(QStringLiteral("Close"), this);
    CloseButton->setObjectName(QStringLiteral("CloseButton"));
    CloseButton->setGeometry(203, 162, 80, 27);
    CloseButton->setDefault(true);
    connect(CloseButton, &QPushButton::clicked, this, &QDialog::accept);

    connect(ProgramIcon, &TClickLabel::clicked, this, &TAboutBox::ProgramIconClick);
    connect(Copyright, &TClickLabel::clicked, this, &TAboutBox::CopyrightClick);
    connect(Label1, &TClickLabel::clicked, this, &TAboutBox::Label1Click);
    connect(Label2, &TClickLabel::clicked, this, &TAboutBox::Label2Click);
}

void TAboutBox::showEvent(QShowEvent* e)
{
    Version->setText(QString::fromStdString(GetVersionString(programPath())));
    if (QScreen* s = screen())
        move(s->geometry().center() - rect().center());
    QDialog::showEvent(e);
}

void TAboutBox::ProgramIconClick()
{
    urlOpener()(QUrl(QString::fromLatin1(kMakerSite)));
}

void TAboutBox::CopyrightClick()
{
    urlOpener()(QUrl(QString::fromLatin1(kMakerMail)));
}

void TAboutBox::Label1Click()
{
    urlOpener()(QUrl(QString::fromLatin1(kMakerForum)));
}

void TAboutBox::Label2Click()
{
    QGuiApplication::clipboard()->setText(QString::fromLatin1(kDonationId));
    ShowMessageBox(QMessageBox::Information,
                   QStringLiteral("The identifier %1 is on the clipboard now: paste it into your "
                                  "payment program.")
                       .arg(QString::fromLatin1(kDonationId)),
                   this);
}

} // namespace volm::ui
