#pragma once

#include <QObject>
#include <vector>

class QRadioButton;

namespace tolvane {

// Radio buttons that the keyboard reaches as a Windows group: only the checked one (the first
// when none is) is in the tab order, and the arrow keys move the choice within the group,
// wrapping around, as clicks do.
class RadioGroup : public QObject {
public:
    RadioGroup(std::vector<QRadioButton*> buttons, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdateTabStops();

    std::vector<QRadioButton*> buttons_;
};

}  // namespace tolvane
