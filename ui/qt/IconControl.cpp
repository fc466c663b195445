#include "ui/qt/IconControl.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/qt/ProgramIcon.h"

namespace tolvane {

IconControl::IconControl(QWidget* parent) : QWidget(parent) {}

void IconControl::paintEvent(QPaintEvent*) {
    const int side = std::min(width(), height());
    if (side <= 0) {
        return;
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, ProgramPixmap(side, devicePixelRatioF()));
}

void IconControl::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QWidget::mousePressEvent(event);
}

void IconControl::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    QWidget::mouseReleaseEvent(event);
    if (click) {
        emit clicked();
    }
}

}  // namespace tolvane
