#include "ui/NumberField.h"

#include <QLineEdit>

#include "ui/DialogFocus.h"
#include "ui/MessageBox.h"
#include "ui/UiTexts.h"

namespace tolvane {

bool ReadNumberField(QWidget* dialog, QLineEdit* field, const NumberRule& rule,
                     std::uint32_t& member) {
    const NumberReading reading = ReadNumber(field->text().toStdString(), rule);
    if (reading.isNumber) {
        member = reading.value;
    }
    if (!reading.accepted) {
        MessageBox::Show(dialog, MessageBox::Icon::Exclamation, ApplicationName(),
                         ToQString(reading.message));
        FocusAndSelect(field);
    }
    return reading.accepted;
}

}  // namespace tolvane
