#pragma once

#include <QFont>
#include <QRect>

class QWidget;

namespace tolvane {

// The dialogs' font: a Japanese sans-serif as the templates' "MS Sans Serif" shows on a
// Japanese desktop, falling back to whatever the system's font matching finds.
QFont DialogFont();

// Dialog units to pixels, from the font's base units as Windows computes them: a
// horizontal unit is a quarter of the average width of the Latin letters, a vertical unit
// an eighth of the font's height.
class DialogUnits {
public:
    DialogUnits() = default;
    explicit DialogUnits(const QFont& font);

    int X(int du) const;
    int Y(int du) const;
    QRect Rect(int x, int y, int width, int height) const;

    // Proportional Japanese text is wider than the Latin average, so a box measured in
    // dialog units may be too narrow for its text. Widens the horizontal unit until
    // `pixels` fit into `du` units; the whole window then keeps its proportions.
    void Fit(int pixels, int du);

    // The pixels a control needs for its text at its natural size.
    static int NeededWidth(const QWidget* control);

    double BaseX() const { return baseX_; }
    double BaseY() const { return baseY_; }

private:
    double baseX_ = 1.0;
    double baseY_ = 1.0;
};

}  // namespace tolvane
