#include "ui/qt/DialogFocus.h"

#include <QAbstractButton>
#include <QEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

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

QAbstractButton* ButtonForAccessKey(const QWidget* dialog, const std::map<int, QWidget*>& controls,
                                    const QKeyEvent& key) {
    if (key.modifiers() != Qt::AltModifier) {
        return nullptr;
    }
    const QKeySequence pressed(key.keyCombination());
    for (const auto& [id, control] : controls) {
        auto* button = qobject_cast<QAbstractButton*>(control);
        if (button != nullptr && button->isEnabled() && button->isVisibleTo(dialog) &&
            QKeySequence::mnemonic(button->text()) == pressed) {
            return button;
        }
    }
    return nullptr;
}

}  // namespace

bool HandleAccessKey(const QWidget* dialog, const std::map<int, QWidget*>& controls,
                     QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress) {
        return false;
    }
    QAbstractButton* button = ButtonForAccessKey(dialog, controls, *static_cast<QKeyEvent*>(event));
    if (button == nullptr) {
        return false;
    }
    // Taking the override keeps the menu bar's access key of the same letter from making
    // the key ambiguous; the key press then comes here.
    event->accept();
    if (event->type() == QEvent::KeyPress) {
        // A push button is pressed where the focus is; a check box takes the focus.
        if (qobject_cast<QPushButton*>(button) == nullptr) {
            button->setFocus(Qt::ShortcutFocusReason);
        }
        button->animateClick();
    }
    return true;
}

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
