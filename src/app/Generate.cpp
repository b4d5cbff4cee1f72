#include "app/Generate.h"

#include "app/Errorbox.h"
#include "app/Filedialogs.h"
#include "book/Bookfolder.h"
#include "book/Manifest.h"
#include "book/Fontimage.h"
#include "book/Phones.h"
#include "app/Jbuild.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressBar>
#include <QStatusBar>

#include <algorithm>
#include <memory>
#include <optional>

namespace volm::ui {

namespace {

// Painting at most this often keeps a build of many small files from
// spending its time on the screen.
constexpr int64_t kPaintIntervalMs = 40;

bool g_generating = false;

int64_t nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

// While a build runs: windows may not be closed (the build reads the
// project window's topics), and the wait cursor shows that input waits.
class TBuildGuard : public QObject {
public:
    TBuildGuard()
    {
        g_generating = true;
        qApp->installEventFilter(this);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~TBuildGuard() override
    {
        QApplication::restoreOverrideCursor();
        qApp->removeEventFilter(this);
        g_generating = false;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close && watched->isWidgetType()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Where each stage's share of the bar begins; the next stage's start is its end.
int stageStart(TBuildStage stage)
{
    switch (stage) {
    case TBuildStage::Template: return 0;
    case TBuildStage::Manifest: return 15;
    case TBuildStage::FontImage: return 17;
    case TBuildStage::DataFiles: return 25;
    case TBuildStage::Packing: return 55;
    case TBuildStage::Finishing: return 95;
    }
    return 100;
}

int stageEnd(TBuildStage stage)
{
    switch (stage) {
    case TBuildStage::Template: return stageStart(TBuildStage::Manifest);
    case TBuildStage::Manifest: return stageStart(TBuildStage::FontImage);
    case TBuildStage::FontImage: return stageStart(TBuildStage::DataFiles);
    case TBuildStage::DataFiles: return stageStart(TBuildStage::Packing);
    case TBuildStage::Packing: return stageStart(TBuildStage::Finishing);
    case TBuildStage::Finishing: return 100;
    }
    return 100;
}

} // namespace

bool Generating()
{
    return g_generating;
}

TStatusBarProgress::TStatusBarProgress(QStatusBar* statusBar) : statusBar_(statusBar)
{
    if (!statusBar_)
        return;
    bar_ = new QProgressBar(statusBar_);
    bar_->setObjectName(QStringLiteral("BuildProgress"));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(true);
    bar_->setMaximumWidth(200);
    bar_->setMaximumHeight(statusBar_->sizeHint().height());
    statusBar_->addPermanentWidget(bar_);
    bar_->show();
}

TStatusBarProgress::~TStatusBarProgress()
{
    delete bar_; // leaves the status bar with it
}

void TStatusBarProgress::Status(const std::string& text)
{
    if (statusBar_)
        statusBar_->showMessage(fromMessage(text));
    letWindowsPaint(true);
}

int TStatusBarProgress::Percent(TBuildStage stage, uint64_t done, uint64_t total)
{
    const int from = stageStart(stage), to = stageEnd(stage);
    if (total == 0)
        return from;
    const uint64_t part = std::min(done, total);
    return from + static_cast<int>((static_cast<double>(part) / static_cast<double>(total)) * (to - from));
}

void TStatusBarProgress::Progress(TBuildStage stage, uint64_t done, uint64_t total)
{
    if (bar_) {
        const int p = Percent(stage, done, total);
        if (p > bar_->value())
            bar_->setValue(p);
    }
    letWindowsPaint(false);
}

void TStatusBarProgress::letWindowsPaint(bool always)
{
    const int64_t now = nowMs();
    if (!always && lastPaint_ >= 0 && now - lastPaint_ < kPaintIntervalMs)
        return;
    lastPaint_ = now;
    // The user's input stays queued until the build is over; painting,
    // moving and resizing go on.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

TGenerateOutcome GenerateMidlet(const TGenerateTarget& target)
{
    if (g_generating || !target.Topics)
        return TGenerateOutcome::Cancelled;

    std::unique_ptr<TForm3> own;
    TForm3* dialog = target.Dialog ? target.Dialog : buildParamsDialog();
    if (!dialog) {
        own = std::make_unique<TForm3>(target.parent);
        dialog = own.get();
    }
    const TReaderLayout offered = target.Layout.value_or(TReaderLayout::Grid);
    dialog->SetLayout(offered);
    const TParagraphStyle offeredParagraphs = target.Paragraphs.value_or(TParagraphStyle::Indent);
    dialog->SetParagraphs(offeredParagraphs);
    const std::string offeredSizes = target.Sizes.value_or(SheetSizesText(kDefaultSheetSizes));
    dialog->SetSizes(offeredSizes);
    const bool offeredHyphens = target.Hyphens.value_or(true);
    dialog->SetHyphens(offeredHyphens);
    dialog->SetBookFolder(target.ProjectPath, target.OutFolder);
    if (dialog->exec() != QDialog::Accepted)
        return TGenerateOutcome::Cancelled;
    std::string outFolder = dialog->OutFolder();
    std::optional<TReaderLayout> layout = target.Layout;
    const TParagraphStyle paragraphs = dialog->Paragraphs();
    try {
        if (dialog->Layout() != offered) {
            layout = dialog->Layout();
            if (target.StoreLayout)
                target.StoreLayout(*layout);
        }
        if (paragraphs != offeredParagraphs && target.StoreParagraphs)
            target.StoreParagraphs(paragraphs);
        if (layout == TReaderLayout::Words) {
            if (dialog->SizesText() != offeredSizes && target.StoreSizes && ParseSheetSizes(dialog->SizesText()))
                target.StoreSizes(SheetSizesText(*ParseSheetSizes(dialog->SizesText())));
            if (dialog->Hyphens() != offeredHyphens && target.StoreHyphens)
                target.StoreHyphens(dialog->Hyphens());
        }
        if (outFolder != target.OutFolder && target.StoreOutFolder)
            target.StoreOutFolder(outFolder);
    } catch (const std::exception& e) {
        ShowErrorMessage(fromMessage(e.what()), target.parent);
        return TGenerateOutcome::Failed;
    }

    TBuildRequest request;
    request.projectPath = target.ProjectPath;
    request.title = target.Title;
    request.vendor = dialog->VendorText(); // as typed, not trimmed
    request.url = dialog->UrlText();
    request.description = dialog->DescriptionText();
    request.build = target.Build;
    request.nextBuild = target.NextBuild;
    request.buildStored = target.BuildStored;
    request.font = target.Font;
    request.layout = layout;
    request.paragraphs = paragraphs;
    request.maxJar = dialog->MaxJar();
    if (layout == TReaderLayout::Words) {
        const std::optional<std::vector<int>> sizes = ParseSheetSizes(dialog->SizesText());
        if (!sizes) {
            ShowErrorMessage(fromMessage("The font sizes \"" + dialog->SizesText() + "\" are not 1 to 3 sizes"),
                             target.parent);
            return TGenerateOutcome::Failed;
        }
        request.sizes = *sizes;
    }
    request.hyphens = dialog->Hyphens();
    if (const TPhoneProfile* phone = PhoneById(dialog->Phone()))
        request.heap = phone->heap;
    request.renderSheet = target.RenderSheet ? target.RenderSheet : TFontSheetRenderer(RenderFontSheet);
    const TFontRenderer render = target.RenderFont ? target.RenderFont : TFontRenderer(FontImagePng);

    std::optional<std::string> failure;
    TBuildResult built;
    for (;;) {
        request.outFolder = outFolder;
        std::optional<std::string> unwritable;
        {
            TBuildGuard guard;
            try {
                TStatusBarProgress progress(target.StatusBar);
                built = GenerateBook(request, *target.Topics, render, &progress);
            } catch (const EFolderNotWritable& e) {
                failure = e.what();
                unwritable = e.path();
            } catch (const std::exception& e) {
                failure = e.what();
            }
        }
        if (!unwritable)
            break;
        // Read-only media, or a folder of someone else's: the book can still
        // be built elsewhere.
        if (target.StatusBar)
            target.StatusBar->showMessage(QStringLiteral("Build failed: ") + fromMessage(*failure));
        if (!AskYesNo(fromMessage(*failure) + QStringLiteral("\n\nBuild the book in another folder?"), true,
                      target.parent))
            break;
        const QString chosen = ChooseFolder(target.parent, QStringLiteral("Folder to make the book folder in"),
                                            QFile::decodeName(ProjectFolder(target.ProjectPath).c_str()));
        if (chosen.isEmpty())
            break;
        outFolder = QFile::encodeName(QDir::cleanPath(QDir(chosen).absolutePath())).toStdString();
        failure.reset();
        try {
            if (target.StoreOutFolder)
                target.StoreOutFolder(outFolder);
        } catch (const std::exception& e) {
            failure = e.what();
            break;
        }
    }
    // The message boxes come after the build: windows may be closed again and
    // the cursor is the normal one.
    if (failure) {
        if (target.StatusBar)
            target.StatusBar->showMessage(QStringLiteral("Build failed: ") + fromMessage(*failure));
        ShowErrorMessage(fromMessage(*failure), target.parent);
        return TGenerateOutcome::Failed;
    }
    // Offered again next time: a budget and phone that built.
    dialog->RememberBudget();
    // Volumes, or a jar larger than many phones take: what was made; for a
    // phone family, each jar's figures against its limits, shown when one
    // is over.
    std::vector<std::string> report =
        BuildReport(built, "choose the phone's limit under \"Phone\" in the build dialog to build volumes");
    // Told in a box: volumes, warnings and files left out; the font's sizes
    // and the hyphens only then, with the rest of the report.
    const bool tell = std::any_of(report.begin(), report.end(), [](const std::string& line) {
        return line.starts_with("warning:") || line.starts_with("not packed:");
    });
    bool overPhone = false;
    if (const TPhoneProfile* phone = PhoneById(dialog->Phone())) {
        try {
            for (const TBuiltJar& j : built.jars)
                for (const std::string& line : PhoneReport(j.jarPath, j.jarSize,
                                                           MeasureJar(j.jarPath, j.entries.size(), *phone), *phone,
                                                           built.maxJar)) {
                    overPhone = overPhone || line.rfind("warning: ", 0) == 0;
                    report.push_back(line);
                }
        } catch (const std::exception& e) {
            report.push_back(std::string("warning: ") + e.what());
            overPhone = true;
        }
    }
    if (built.jars.size() > 1 || tell || overPhone) {
        QString text;
        for (const std::string& line : report)
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + fromMessage(line);
        ShowMessageBox(built.jars.size() > 1 && !overPhone ? QMessageBox::Information : QMessageBox::Warning, text,
                       target.parent);
    }
    // The status text names where the book is: its jar, or the folder of its volumes.
    if (target.StatusBar) {
        const std::string where = built.jars.size() > 1 ? built.bookFolder + " (" +
                                                              std::to_string(built.jars.size()) + " volumes)"
                                                        : built.jarPath;
        target.StatusBar->showMessage(
            fromMessage(std::string(kStatusDone) + " The book: " + where + " (MIDlet-Version " + built.version +
                        (built.buildStored ? ")" : ", not counted: the project is open read only)")));
    }
    return TGenerateOutcome::Built;
}

} // namespace volm::ui

namespace volm::ui {

TGenerateOutcome GenerateMidlet(TProject& project, const TFontSettings& font,
                                    QStatusBar* statusBar, QWidget* parent)
{
    TProjectTopics topics(project);
    TGenerateTarget t;
    t.Layout = project.Layout();
    t.StoreLayout = [&project](TReaderLayout l) { project.SaveLayout(l); };
    t.Paragraphs = project.Paragraphs();
    t.StoreParagraphs = [&project](TParagraphStyle s) { project.SaveParagraphs(s); };
    t.Sizes = project.SheetSizes();
    t.StoreSizes = [&project](const std::string& s) { project.SaveSheetSizes(s); };
    t.Hyphens = project.Hyphens();
    t.StoreHyphens = [&project](bool on) { project.SaveHyphens(on); };
    t.OutFolder = project.OutputFolder();
    t.StoreOutFolder = [&project](const std::string& folder) { project.SaveOutputFolder(folder); };
    if (project.IsReadOnly()) {
        // Nothing is written to a project open read only: the choices hold for this build.
        t.StoreLayout = nullptr;
        t.StoreParagraphs = nullptr;
        t.StoreSizes = nullptr;
        t.StoreHyphens = nullptr;
        // The folder chosen holds while the window is open: its book folder opens, and the next build goes there.
        t.StoreOutFolder = [&project](const std::string& folder) { project.UseOutputFolder(folder); };
    }
    t.ProjectPath = project.Path();
    t.Title = project.Title();
    t.Build = project.BuildCount() + 1;
    t.BuildStored = !project.IsReadOnly();
    if (t.BuildStored)
        t.NextBuild = [&project] {
            project.SaveBuildCount(project.BuildCount() + 1);
            return project.BuildCount();
        };
    t.Topics = &topics;
    t.Font = font;
    t.StatusBar = statusBar;
    t.parent = parent;
    return GenerateMidlet(t);
}

} // namespace volm::ui
