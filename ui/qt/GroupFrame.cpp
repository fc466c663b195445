#include "ui/qt/GroupFrame.h"

#include <QPainter>

namespace tolvane {

namespace {

constexpr int kTitleIndent = 6;  // pixels from the frame's left edge to the title's gap
constexpr int kTitleGap = 2;     // blank pixels around the title on the line

}  // namespace

GroupFrame::GroupFrame(const QString& title, QWidget* parent) : QWidget(parent), title_(title) {}

QSize GroupFrame::sizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(kTitleIndent + 2 * kTitleGap + metrics.horizontalAdvance(title_) + kTitleIndent,
                 2 * metrics.height());
}

void GroupFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int lineY = metrics.height() / 2;
    const QRect frame(0, lineY, width() - 2, height() - lineY - 2);
    // Etched: a dark line with a light one one pixel down and to the right.
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.translated(1, 1));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    const int textWidth = metrics.horizontalAdvance(title_);
    const QRect gap(kTitleIndent, 0, textWidth + 2 * kTitleGap, metrics.height());
    painter.fillRect(gap, palette().color(backgroundRole()));
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(gap.adjusted(kTitleGap, 0, -kTitleGap, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     title_);
}

}  // namespace tolvane
