#include "app/Statusbarwithcomps.h"

namespace volm::ui {

TStatusBarWithComps::TStatusBarWithComps(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusBarWithComps1"));
    setSizeGripEnabled(true);
}

} // namespace volm::ui
