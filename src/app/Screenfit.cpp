#include "app/Screenfit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace volm::ui {

void FitToScreen(QWidget* w)
{
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // The frame (title bar, borders) around the client area, as far as it is known yet.
    const QRect frame = w->frameGeometry();
    const QRect inner = w->geometry();
    const int extraW = std::max(0, frame.width() - inner.width());
    const int extraH = std::max(0, frame.height() - inner.height());
    const QSize room(std::max(1, area.width() - extraW), std::max(1, area.height() - extraH));
    QSize size = w->size().boundedTo(room).expandedTo(w->minimumSize());
    if (size != w->size())
        w->resize(size);
    if (!w->isWindow())
        return;
    QRect placed(w->frameGeometry().topLeft(), QSize(size.width() + extraW, size.height() + extraH));
    if (placed.right() > area.right())
        placed.moveRight(area.right());
    if (placed.bottom() > area.bottom())
        placed.moveBottom(area.bottom());
    placed.moveLeft(std::max(placed.left(), area.left()));
    placed.moveTop(std::max(placed.top(), area.top()));
    if (placed.topLeft() != w->frameGeometry().topLeft())
        w->move(placed.topLeft());
}

} // namespace volm::ui
