#pragma once
// The desktop program's windows as start-up makes them, in this order: the
// main window (TForm1, whose project windows are TForm2), the about box
// (TAboutBox) and the build parameters dialog (TForm3), the latter two hidden
// until the main window shows them. The program (Volm.cpp) and the
// documentation's screenshot tool start the same way.

#include "app/Jbuild.h"
#include "app/Main.h"
#include "app/Sharedmemory.h"

#include <memory>

namespace volm::ui {

struct TProgramWindows {
    std::unique_ptr<TForm1> frame;
    std::unique_ptr<TAboutBox> about;
    std::unique_ptr<TForm3> build;

    TProgramWindows() = default;
    TProgramWindows(TProgramWindows&&) = default;
    TProgramWindows& operator=(TProgramWindows&& other) noexcept;
    ~TProgramWindows() { Reset(); }
    // The build dialog goes first, then the about box, then the main window
    // (the owner of the other two, as their parent).
    void Reset();
};

// Makes the windows; the main window is to open `project` ("" for none) when
// it is first shown. Raises what creating a window raises.
TProgramWindows MakeProgramWindows(const QString& project);

} // namespace volm::ui
