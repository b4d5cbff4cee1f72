#pragma once
// Windows and dialogs inside the screen: whatever size a window asks for (a
// size in pixels chosen for a small scale, a layout's wish), at any scale
// factor its frame fits the available area of the screen it is on, title
// bar and buttons within reach.

class QWidget;

namespace volm::ui {

// Shrinks `w` (no smaller than its minimum size allows) and moves it so that
// its frame lies inside its screen's available area. Call it when `w` is
// about to be shown.
void FitToScreen(QWidget* w);

} // namespace volm::ui
