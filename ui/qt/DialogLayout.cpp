#include "ui/qt/DialogLayout.h"

#include <QLabel>

#include "ui/qt/UiTexts.h"

namespace tolvane {

void DialogLayout::Add(QWidget* control, int x, int y, int width, int height, bool fitText) {
    places_.push_back(Place{control, x, y, width, height, fitText});
}

void DialogLayout::Apply(QWidget* dialog, int width, int height, int top) {
    units_ = DialogUnits(dialog->font());
    for (const Place& place : places_) {
        if (place.fitText) {
            units_.Fit(DialogUnits::NeededWidth(place.control), place.width);
        }
    }
    for (const Place& place : places_) {
        place.control->setGeometry(
            units_.Rect(place.x, place.y, place.width, place.height).translated(0, top));
    }
    dialog->setFixedSize(units_.X(width), top + units_.Y(height));
}

QLabel* FieldLabel(UiText text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(QText(text), parent);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(buddy);
    return label;
}

}  // namespace tolvane
