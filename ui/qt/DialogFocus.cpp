#include "ui/qt/DialogFocus.h"

#include <QEvent>
#include <QLineEdit>
#include <QPointer>

namespace tolvane {

namespace {

void Select(QLineEdit* field) {
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

// Selects the field again when its window is next activated, then goes.
class SelectOnActivation : public QObject {
public:
    explicit SelectOnActivation(QLineEdit* field) : QObject(field->window()), field_(field) {
        // Only the latest refusal waits: boxes are modal, so an older one is stale.
        static QPointer<SelectOnActivation> waiting;
        if (waiting) {
            waiting->deleteLater();
        }
        waiting = this;
        parent()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() && event->type() == QEvent::WindowActivate) {
            // After the activation has given the focus back to the window's focus widget.
            QPointer<QLineEdit> field = field_;
            QMetaObject::invokeMethod(
                field_,
                [field] {
                    if (field && field->isEnabled()) {
                        Select(field);
                    }
                },
                Qt::QueuedConnection);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPointer<QLineEdit> field_;
};

bool TakesTabFocus(QWidget* widget, QWidget* dialog) {
    return widget->window() == dialog && widget->isEnabled() && widget->isVisibleTo(dialog) &&
           (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
}

}  // namespace

void FocusAndSelect(QLineEdit* field) {
    Select(field);
    if (!field->window()->isActiveWindow()) {
        new SelectOnActivation(field);
    }
}

void FocusFirstControl(QWidget* dialog, bool fieldFirst) {
    QWidget* firstControl = nullptr;
    QLineEdit* firstField = nullptr;
    for (QWidget* widget = dialog->nextInFocusChain(); widget != dialog;
         widget = widget->nextInFocusChain()) {
        if (!TakesTabFocus(widget, dialog)) {
            continue;
        }
        if (firstControl == nullptr) {
            firstControl = widget;
        }
        firstField = qobject_cast<QLineEdit*>(widget);
        if (firstField != nullptr || !fieldFirst) {
            break;
        }
    }
    if (firstField != nullptr) {
        Select(firstField);
    } else if (firstControl != nullptr) {
        firstControl->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace tolvane
