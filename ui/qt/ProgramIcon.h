#pragma once

#include <QIcon>
#include <QPixmap>

namespace tolvane {

// The program icon (icon 128), drawn from the SVG in the resources at the sizes asked for,
// so it needs no icon-engine plugin.
QIcon ProgramIcon();
QPixmap ProgramPixmap(int size, qreal devicePixelRatio = 1.0);

}  // namespace tolvane
