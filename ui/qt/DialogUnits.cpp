#include "ui/qt/DialogUnits.h"

#include <QAbstractButton>
#include <QFontMetricsF>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QWidget>
#include <cmath>

namespace tolvane {

namespace {

QString WithoutMnemonic(const QString& text) {
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
        }
        shown += text[i];
    }
    return shown;
}

}  // namespace

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP"),
                      QStringLiteral("VL PGothic"), QStringLiteral("TakaoPGothic"),
                      QStringLiteral("Sans Serif")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    return font;
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Windows rounds the average of the 52 letters to whole pixels the same way.
    baseX_ = std::max(1.0, std::floor((letters / 26.0 + 1.0) / 2.0));
    baseY_ = std::ceil(metrics.height());
}

int DialogUnits::X(int du) const {
    return static_cast<int>(std::lround(du * baseX_ / 4.0));
}

int DialogUnits::Y(int du) const {
    return static_cast<int>(std::lround(du * baseY_ / 8.0));
}

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
    const int left = X(x);
    const int top = Y(y);
    return QRect(left, top, X(x + width) - left, Y(y + height) - top);
}

void DialogUnits::Fit(int pixels, int du) {
    if (du <= 0) {
        return;
    }
    // Ask for one pixel to spare, so rounding can never take it away.
    const double needed = (pixels + 1) * 4.0 / du;
    if (needed > baseX_) {
        baseX_ = needed;
    }
}

int DialogUnits::NeededWidth(const QWidget* control) {
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        // The style's own minimum width of push buttons is not about the text; only the text
        // with the button's margins must fit.
        QStyleOptionButton option;
        option.initFrom(button);
        const QFontMetrics metrics(button->font());
        const int text = metrics.horizontalAdvance(WithoutMnemonic(button->text()));
        const QStyle* style = button->style();
        return text + style->pixelMetric(QStyle::PM_ButtonMargin, &option, button) +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, button) +
               2 * style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, &option, button);
    }
    return control->sizeHint().width();
}

}  // namespace tolvane
