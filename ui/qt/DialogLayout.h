#pragma once

#include <QWidget>
#include <vector>

#include "ui/model/UiTexts.h"
#include "ui/qt/DialogUnits.h"

class QLabel;

namespace tolvane {

// Places a dialog's controls at their template rectangles in dialog units and gives the
// dialog its fixed client size. The units come from the dialog's font, widened where a text
// would not fit its box, so nothing is clipped and the template's proportions hold.
class DialogLayout {
public:
    // `fitText`: the control's text must fit into its width (labels, buttons, check boxes).
    void Add(QWidget* control, int x, int y, int width, int height, bool fitText = true);

    // Lays the controls out below `top` pixels (a menu bar) and fixes the dialog's size to
    // `width` x `height` dialog units plus that.
    void Apply(QWidget* dialog, int width, int height, int top = 0);

    const DialogUnits& Units() const { return units_; }

private:
    struct Place {
        QWidget* control;
        int x, y, width, height;
        bool fitText;
    };
    std::vector<Place> places_;
    DialogUnits units_;
};

// A field's label: plain text whose access key moves the focus to the field.
QLabel* FieldLabel(UiText text, QWidget* buddy, QWidget* parent);

}  // namespace tolvane
