#pragma once

#include <QDialog>

namespace tolvane {

// The About box: the program icon, name and version, and OK.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* owner = nullptr);
};

}  // namespace tolvane
