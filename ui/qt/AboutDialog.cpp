#include "ui/qt/AboutDialog.h"

#include <QLabel>
#include <QPushButton>

#include "ui/model/DialogTemplates.h"
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
    layout.Add(icon, AT_ABOUT_ICON, false);
    layout.Add(version, AT_ABOUT_VERSION);
    layout.Add(ok, AT_ABOUT_OK);
    layout.Apply(this, SIZE_ABOUT_DIALOG);
    ok->setFocus();
}

}  // namespace tolvane
