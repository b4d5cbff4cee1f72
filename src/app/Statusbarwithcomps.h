#pragma once
// The main window's status bar. It is the toolkit's status bar, which already
// accepts other controls as children (addWidget / addPermanentWidget, e.g. the
// progress bar of a long build), showing one line of simple text: the hint of
// what is under the mouse, or a status text such as "Building...".

#include <QStatusBar>

namespace volm::ui {

class TStatusBarWithComps : public QStatusBar {
    Q_OBJECT
public:
    explicit TStatusBarWithComps(QWidget* parent = nullptr);

    // The simple text: what the bar shows now (showMessage sets it).
    QString SimpleText() const { return currentMessage(); }
};

} // namespace volm::ui
