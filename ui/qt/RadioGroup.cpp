#include "ui/qt/RadioGroup.h"

#include <QKeyEvent>
#include <QRadioButton>
#include <algorithm>

namespace tolvane {

RadioGroup::RadioGroup(std::vector<QRadioButton*> buttons, QObject* parent)
    : QObject(parent), buttons_(std::move(buttons)) {
    for (QRadioButton* button : buttons_) {
        connect(button, &QRadioButton::toggled, this, &RadioGroup::UpdateTabStops);
        button->installEventFilter(this);
    }
    UpdateTabStops();
}

void RadioGroup::UpdateTabStops() {
    const bool noneChecked = std::none_of(buttons_.begin(), buttons_.end(),
                                          [](QRadioButton* b) { return b->isChecked(); });
    for (QRadioButton* button : buttons_) {
        const bool tabStop = button->isChecked() || (noneChecked && button == buttons_.front());
        button->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
    }
}

bool RadioGroup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    int step = 0;
    switch (key->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            step = -1;
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            step = 1;
            break;
        default:
            return QObject::eventFilter(watched, event);
    }
    const auto at = std::find(buttons_.begin(), buttons_.end(), watched);
    if (at == buttons_.end() || key->modifiers() != Qt::NoModifier) {
        return QObject::eventFilter(watched, event);
    }
    const int count = static_cast<int>(buttons_.size());
    int index = static_cast<int>(at - buttons_.begin());
    // The next enabled one in the direction; a disabled button is passed over.
    for (int tried = 1; tried < count; ++tried) {
        index = (index + step + count) % count;
        QRadioButton* next = buttons_[static_cast<std::size_t>(index)];
        if (next->isEnabled() && next->isVisible()) {
            next->setFocus(Qt::TabFocusReason);
            next->click();
            break;
        }
    }
    return true;
}

}  // namespace tolvane
