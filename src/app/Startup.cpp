#include "app/Startup.h"

#include "app/Child.h"

namespace volm::ui {

void TProgramWindows::Reset()
{
    if (build && buildParamsDialog() == build.get())
        setBuildParamsDialog(nullptr);
    build.reset();
    about.reset();
    frame.reset();
}

TProgramWindows& TProgramWindows::operator=(TProgramWindows&& other) noexcept
{
    if (this != &other) {
        Reset();
        frame = std::move(other.frame);
        about = std::move(other.about);
        build = std::move(other.build);
    }
    return *this;
}

TProgramWindows MakeProgramWindows(const QString& project)
{
    TProgramWindows w;
    w.frame = std::make_unique<TForm1>([](TForm1* frame) -> TProjectWindow* { return new TForm2(frame); });
    w.about = std::make_unique<TAboutBox>(w.frame.get());
    w.build = std::make_unique<TForm3>(w.frame.get());
    setBuildParamsDialog(w.build.get());
    w.frame->setAboutBox(w.about.get());
    w.frame->setCommandLineProject(project);
    return w;
}

} // namespace volm::ui
