#include "ui/qt/ProgramIcon.h"

#include <QPainter>
#include <QSvgRenderer>

namespace tolvane {

namespace {

// Kept for the whole run and never destroyed: pixmaps must not outlive the application
// object, and statics are destroyed after it.
QSvgRenderer& Renderer() {
    static auto* renderer = new QSvgRenderer(QStringLiteral(":/tolvane/icons/tolvane.svg"));
    return *renderer;
}

}  // namespace

QPixmap ProgramPixmap(int size, qreal devicePixelRatio) {
    const int pixels = qRound(size * devicePixelRatio);
    QPixmap pixmap(pixels, pixels);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        Renderer().render(&painter, QRectF(0, 0, pixels, pixels));
    }
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon ProgramIcon() {
    static const auto* icon = [] {
        auto* built = new QIcon;
        for (int size : {16, 20, 24, 32, 48, 64, 128, 256}) {
            built->addPixmap(ProgramPixmap(size));
        }
        return built;
    }();
    return *icon;
}

}  // namespace tolvane
