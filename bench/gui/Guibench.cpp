// The project window at scale, offscreen: a project of N topics (short
// Windows-1251 texts) is opened in the main window's project window as the
// "Open/Create" command does, timed from the window's OpenProject to a shown,
// filled topic list; then topics are clicked one after another, each timed
// until the editor shows its text. The reference is libgsf opening the same
// file and reading every stream's topic header, in the same run.
//
//   guibench [N [SELECTIONS [ROUNDS [FOLDER]]]]
//   (10000 topics, 1000 selections, 3 rounds, the temporary folder)

#include "Benchutil.h"
#include "app/Errorbox.h"
#include "app/Main.h"
#include "common/Ansiwriter.h"
#include "common/Codepage.h"
#include "app/Child.h"
#include "app/Editortext.h"
#include "storage/Project.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace volm;
using namespace volm::ui;
using namespace volm::bench;
namespace fs = std::filesystem;

namespace {

// This process's CPU time: on a busy machine the wall time also holds the
// time other processes had the processor.
double cpu()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

long rssKb() { return statusKb("VmRSS:"); }

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

// A topic's text: a few lines of Russian words in Windows-1251, a few hundred
// bytes, different for every topic.
std::string topicText(size_t i)
{
    static const std::vector<std::string> words = [] {
        std::vector<std::string> w;
        for (const char* u : {"книга", "глава", "телефон", "читатель", "страница", "слово", "текст", "море",
                              "город", "история", "утро", "вечер", "дорога", "письмо", "окно", "ветер"})
            w.push_back(utf8ToCp1251(u));
        return w;
    }();
    std::string text = utf8ToCp1251("Тема ") + std::to_string(i + 1) + "\r\n";
    uint32_t seed = static_cast<uint32_t>(i) * 2654435761u + 1;
    for (int line = 0; line < 5; ++line) {
        for (int k = 0; k < 8; ++k) {
            seed = seed * 1103515245u + 12345u;
            text += words[(seed >> 16) % words.size()];
            text += k == 7 ? "." : " ";
        }
        text += "\r\n";
    }
    return text;
}

void processEvents()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The project window, timing its own OpenProject from the start.
class TTimedForm2 : public TForm2 {
public:
    using TForm2::TForm2;
    bool OpenProject(const QString& path) override
    {
        openStart = now();
        openCpu = cpu();
        const bool ok = TForm2::OpenProject(path);
        openEnd = now();
        return ok;
    }
    double openStart = 0, openEnd = 0, openCpu = 0;
};

struct Round {
    double fill = 0;     // OpenProject's start to the shown, filled list
    double call = 0;     // of that, OpenProject itself
    double fillCpu = 0;  // the CPU time of the filled list
    double close = 0;    // closing the window
    long windowKb = 0;   // resident memory the open window added
    std::vector<double> picks, pickCpus;
    size_t slowest = 0;  // the list index of the slowest selection
};

} // namespace

int main(int argc, char** argv)
{
    const size_t n = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
    const size_t selections = std::min(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000, n);
    const int rounds = std::max(1, argc > 3 ? std::atoi(argv[3]) : 3);
    const fs::path folder = argc > 4 ? fs::path(argv[4]) : fs::temp_directory_path();

    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The frame registers the file type when it is first shown: keep that
    // away from the user's own configuration.
    std::string scratchName = (folder / "guibench-XXXXXX").string();
    if (!::mkdtemp(scratchName.data())) {
        std::perror("guibench: scratch folder");
        return 1;
    }
    const fs::path scratch = scratchName;
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (scratch / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", scratch.c_str(), 1);
    const std::string path = (scratch / "book.volm").string();

    std::printf("project window benchmark: %zu topics, %zu selections, %d rounds, %s, platform %s\n", n,
                selections, rounds, path.c_str(), std::getenv("QT_QPA_PLATFORM"));
    int status = 0;
    std::vector<std::string> texts(n);
    try {
        const double t0 = now();
        size_t bytes = 0;
        {
            TProject p;
            p.Open(path, TProject::omCreateNew);
            for (size_t i = 0; i < n; ++i) {
                p.AddTopic(utf8ToCp1251("Тема ") + std::to_string(i + 1));
                texts[i] = topicText(i);
                bytes += texts[i].size();
                p.CommitText(i, texts[i]);
            }
            p.CloseProject();
        }
        std::printf("made the project in %.2f s: %ju bytes, texts %zu bytes on average\n", now() - t0,
                    uintmax_t(fs::file_size(path)), n ? bytes / n : 0);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "guibench: %s\n", e.what());
        fs::remove_all(scratch);
        return 1;
    }

    // The model alone: open and close, for the share of the window's time.
    std::vector<double> modelTimes;
    for (int r = 0; r < rounds; ++r) {
        const double t = now();
        TProject p;
        p.Open(path, TProject::omOpenExisting);
        modelTimes.push_back(now() - t);
    }
    std::vector<double> gsfTimes;
    int streams = 0;
    for (int r = 0; r < rounds; ++r) {
        const double t = gsfRead(path, streams);
        if (t >= 0)
            gsfTimes.push_back(t);
    }

    std::vector<Round> results;
    {
        QApplication app(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Volm"));
        std::vector<TShownMessage> shown;
        setMessageSink([&shown](const TShownMessage& m) { shown.push_back(m); });

        TTimedForm2* w = nullptr;
        TForm1 frame([&w](TForm1* f) { return w = new TTimedForm2(f); });
        frame.resize(1024, 768);
        frame.show();
        if (!QTest::qWaitForWindowExposed(&frame))
            std::printf("the main window was not exposed\n");
        processEvents();
        const long baseKb = rssKb();
        resetPeak();
        std::printf("main window up: resident %ld KB\n", baseKb);

        for (int r = 0; r < rounds && status == 0; ++r) {
            Round res;
            w = nullptr;
            const long before = rssKb();
            frame.OpenOrCreateProject(QString::fromStdString(path));
            if (!w || !w->HoldsProject(QString::fromStdString(path))) {
                std::fprintf(stderr, "guibench: the project window did not open the file\n");
                status = 1;
                break;
            }
            // Filled: the list holds every topic and the window has been shown and painted.
            processEvents();
            for (int spin = 0; spin < 1000 && (w->TreeView1->topLevelItemCount() != int(n) ||
                                               !w->TreeView1->isVisible());
                 ++spin)
                processEvents();
            res.fill = now() - w->openStart;
            res.fillCpu = cpu() - w->openCpu;
            res.call = w->openEnd - w->openStart;
            res.windowKb = rssKb() - before;
            if (w->TreeView1->topLevelItemCount() != int(n)) {
                std::fprintf(stderr, "guibench: the list holds %d topics, not %zu\n",
                             w->TreeView1->topLevelItemCount(), n);
                status = 1;
                break;
            }

            // Clicks spread over the whole list, top to bottom.
            QWidget* viewport = w->TreeView1->viewport();
            for (size_t k = 0; k < selections; ++k) {
                const size_t index = selections > 1 ? k * (n - 1) / (selections - 1) : 0;
                QTreeWidgetItem* node = w->TreeView1->topLevelItem(int(index));
                w->TreeView1->scrollToItem(node); // the user scrolls to it first
                processEvents();
                const QPoint at = w->TreeView1->visualItemRect(node).center();
                const double t = now(), c = cpu();
                QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
                processEvents(); // the editor repainted with the new text
                const double took = now() - t;
                res.pickCpus.push_back(cpu() - c);
                if (res.picks.empty() || took > *std::max_element(res.picks.begin(), res.picks.end()))
                    res.slowest = index;
                res.picks.push_back(took);
                if (w->TreeView1->currentItem() != node || w->EditorText().Text() != texts[index]) {
                    std::fprintf(stderr, "guibench: clicking topic %zu did not show its text\n", index + 1);
                    status = 1;
                    break;
                }
            }
            // Closing commits and closes the file; the window goes.
            const double c = now();
            frame.MdiArea->closeAllSubWindows();
            processEvents();
            res.close = now() - c;
            results.push_back(res);
        }
        std::printf("peak resident memory with the window open: %ld KB (%ld KB over the bare main window)\n",
                    peakKb(), peakKb() - baseKb);
        for (const TShownMessage& m : shown)
            std::printf("message shown: %s\n", m.text.toStdString().c_str());
        setMessageSink({});
    }

    std::vector<double> fills, calls, picksMedian, picksMax, picksMean;
    for (size_t r = 0; r < results.size(); ++r) {
        const Round& res = results[r];
        std::vector<double> p = res.picks;
        double sum = 0;
        for (double x : p)
            sum += x;
        const double mean = p.empty() ? 0 : sum / p.size();
        const double mx = p.empty() ? 0 : *std::max_element(p.begin(), p.end());
        std::sort(p.begin(), p.end());
        const double p95 = p.empty() ? 0 : p[std::min(p.size() - 1, p.size() * 95 / 100)];
        const size_t over = size_t(std::count_if(p.begin(), p.end(), [](double x) { return x > 0.020; }));
        const double cpuMax = res.pickCpus.empty() ? 0 : *std::max_element(res.pickCpus.begin(), res.pickCpus.end());
        std::printf("round %zu: filled list %6.1f ms (CPU %6.1f ms; OpenProject %6.1f ms, then events %5.1f ms), "
                    "window +%ld KB, closing %.1f ms\n",
                    r + 1, res.fill * 1e3, res.fillCpu * 1e3, res.call * 1e3, (res.fill - res.call) * 1e3,
                    res.windowKb, res.close * 1e3);
        std::printf("         selection mean %.2f ms, median %.2f ms, p95 %.2f ms, max %.2f ms (topic %zu), "
                    "%zu over 20 ms; CPU median %.2f ms, max %.2f ms\n",
                    mean * 1e3, median(res.picks) * 1e3, p95 * 1e3, mx * 1e3, res.slowest + 1, over,
                    median(res.pickCpus) * 1e3, cpuMax * 1e3);
        fills.push_back(res.fill);
        calls.push_back(res.call);
        picksMean.push_back(mean);
        picksMedian.push_back(median(res.picks));
        picksMax.push_back(mx);
    }
    if (!fills.empty()) {
        const double bestFill = *std::min_element(fills.begin(), fills.end());
        std::printf("filled list: best %.1f ms, median %.1f ms (target <= 500 ms)\n", bestFill * 1e3,
                    median(fills) * 1e3);
        std::printf("selection: mean of rounds best %.2f ms; median best %.2f ms; max best %.2f ms, worst %.2f "
                    "ms (target <= 20 ms)\n",
                    *std::min_element(picksMean.begin(), picksMean.end()) * 1e3,
                    *std::min_element(picksMedian.begin(), picksMedian.end()) * 1e3,
                    *std::min_element(picksMax.begin(), picksMax.end()) * 1e3,
                    *std::max_element(picksMax.begin(), picksMax.end()) * 1e3);
        const double model = *std::min_element(modelTimes.begin(), modelTimes.end());
        std::printf("the model alone opens the project in %.1f ms (best): %.0f%% of the best filled list\n",
                    model * 1e3, model / bestFill * 100);
        if (!gsfTimes.empty()) {
            const double gsf = *std::min_element(gsfTimes.begin(), gsfTimes.end());
            std::printf("libgsf reading %d stream headers: best %.1f ms, median %.1f ms; filled list / libgsf: "
                        "best %.2f, median %.2f\n",
                        streams, gsf * 1e3, median(gsfTimes) * 1e3, bestFill / gsf, median(fills) / median(gsfTimes));
        } else {
            std::printf("libgsf reference not built; no ratio\n");
        }
    }
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return status;
}
