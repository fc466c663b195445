#include "ui/qt/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "ui/qt/DialogLayout.h"
#include "ui/qt/IconControl.h"
#include "ui/qt/ProgramIcon.h"
#include "ui/qt/UiTexts.h"

namespace tolvane {

AboutDialog::AboutDialog(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QText(UiText::AboutCaption));
    setWindowIcon(ProgramIcon());
    setFont(owner != nullptr ? owner->font() : DialogFont());

    auto* icon = new IconControl(this);
    auto* version = new QLabel(QText(UiText::AboutVersion), this);
    version->setTextFormat(Qt::PlainText);
    auto* ok = new QPushButton(QText(UiText::AboutOk), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    DialogLayout layout;
    layout.Add(icon, 7, 6, 20, 20, false);
    layout.Add(version, 35, 9, 91, 8);
    layout.Add(ok, 127, 6, 50, 14);
    layout.Apply(this, 183, 39);
    ok->setFocus();
}

}  // namespace tolvane
