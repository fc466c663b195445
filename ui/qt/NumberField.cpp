#include "ui/qt/NumberField.h"

#include <QLineEdit>

#include "ui/qt/DialogFocus.h"
#include "ui/qt/MessageBox.h"
#include "ui/qt/UiTexts.h"

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
