// The project window with a large project: opens a project of N (10,000)
// topics in the window (offscreen) and selects topics one after another.
// Prints the time to a filled list and per selection, each against the bare
// project model doing the same reads in the same run (opening the project,
// reading a topic's text), and against the targets (0.5 s, 20 ms).
//
//   windowbench [N [FOLDER]]
#include "editor/Child.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
    const bool keep = argc > 2;
    const fs::path folder = keep ? fs::path(argv[2]) : fs::temp_directory_path() / "volm-windowbench";
    fs::create_directories(folder);
    const std::string file = (folder / "big.volm").string();
    fs::remove(file);

    // A project of n topics, each with a paragraph of Windows-1251 text.
    {
        volm::TProject p;
        if (!p.OpenProject(file)) {
            std::fprintf(stderr, "windowbench: can't create %s: %s\n", file.c_str(), p.OpenError().c_str());
            return 1;
        }
        std::string text;
        for (int i = 0; i < 40; ++i)
            text += "\xd2\xe5\xea\xf1\xf2 \xf2\xe5\xec\xfb \xed\xee\xec\xe5\xf0 ";
        text += "\r\n";
        for (int i = 0; i < n; ++i) {
            const size_t at = p.AddTopic("Topic " + std::to_string(i + 1));
            p.CommitText(at, text);
        }
        p.CloseProject();
    }

    // Reference: the bare model opening the project.
    double modelOpen = 1e9;
    for (int round = 0; round < 3; ++round) {
        volm::TProject p;
        auto t = Clock::now();
        p.OpenProject(file);
        modelOpen = std::min(modelOpen, since(t));
    }

    double windowOpen = 1e9;
    volm::ui::TForm2* w = nullptr;
    for (int round = 0; round < 3; ++round) {
        delete w;
        w = new volm::ui::TForm2;
        w->resize(636, 474);
        w->show();
        QApplication::processEvents();
        auto t = Clock::now();
        w->OpenProject(QString::fromStdString(file));
        QApplication::processEvents(); // the list laid out and painted
        windowOpen = std::min(windowOpen, since(t));
    }
    if (w->TreeView1->topLevelItemCount() != n) {
        std::fprintf(stderr, "windowbench: the list holds %d topics, not %d\n",
                     w->TreeView1->topLevelItemCount(), n);
        return 1;
    }

    // Selecting topics spread over the list, each shown before the next.
    const int selections = std::min(n, 500);
    std::vector<double> times;
    double modelRead = 0;
    for (int k = 0; k < selections; ++k) {
        const int row = static_cast<int>((static_cast<long long>(k) * 7919) % n);
        auto t = Clock::now();
        w->TreeView1->setCurrentItem(w->TreeView1->topLevelItem(row));
        QApplication::processEvents();
        times.push_back(since(t));
        auto r = Clock::now();
        (void)w->Project().GetText(static_cast<size_t>(row));
        modelRead += since(r);
    }
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (double d : times)
        sum += d;
    const double mean = sum / times.size();
    const double p95 = times[times.size() * 95 / 100];
    modelRead /= selections;

    std::printf("project window, %d topics (offscreen)\n", n);
    std::printf("  filled list:   %8.1f ms  (model alone %.1f ms, ratio %.2f; target 500 ms, %.2f of it)\n",
                windowOpen * 1e3, modelOpen * 1e3, windowOpen / modelOpen, windowOpen / 0.5);
    std::printf("  selection:     %8.2f ms mean, %.2f ms 95th, %.2f ms max  (text read alone %.3f ms, "
                "ratio %.1f; target 20 ms, %.2f of it)\n",
                mean * 1e3, p95 * 1e3, times.back() * 1e3, modelRead * 1e3, mean / modelRead, mean / 0.02);
    delete w;
    if (!keep)
        fs::remove_all(folder);
    return 0;
}
