#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "os/Clock.h"
#include "ui/qt/MessageBox.h"

namespace tolvane::test {

// A UTF-8 literal as the widgets show it.
inline QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Answers every message box and beep for the duration of a test and keeps what they said.
class MessageRecorder {
public:
    explicit MessageRecorder(std::function<void(const MessageBox::Shown&)> onShown = {}) {
        MessageBox::SetHook([this, onShown](const MessageBox::Shown& shown) {
            (shown.beep ? beeps : boxes).push_back(shown);
            if (onShown) {
                onShown(shown);
            }
        });
    }
    ~MessageRecorder() { MessageBox::SetHook({}); }
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<MessageBox::Shown> boxes;
    std::vector<MessageBox::Shown> beeps;
};

// The cycle's pauses without the waiting; each pause lets the test look at the window as the
// user sees it while the thread is blocked.
class PausingClock final : public Clock {
public:
    std::function<void(std::uint32_t ms)> onPause;
    void Pause(std::uint32_t ms) override {
        if (onPause) {
            onPause(ms);
        }
    }
    std::time_t Now() override { return std::time(nullptr); }
};

// Runs the event loop until the condition holds; false if it did not within the bound,
// which is generous: it only keeps a broken test from hanging.
inline bool WaitUntil(const std::function<bool()>& condition, int boundMs = 20000) {
    QElapsedTimer elapsed;
    elapsed.start();
    QTimer wake;  // so the wait for events never outlasts the bound
    wake.start(20);
    while (!condition()) {
        if (elapsed.elapsed() > boundMs) {
            return false;
        }
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Acts on the next modal dialog once it runs (the act must end it). The flag tells whether
// one opened.
inline std::shared_ptr<bool> WhenModalOpens(std::function<void(QDialog&)> act) {
    auto opened = std::make_shared<bool>(false);
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, opened, act] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            *opened = true;
            act(*dialog);
        }
    });
    poll->start(10);
    // Nothing modal within the bound: stop looking.
    QTimer::singleShot(20000, poll, [poll] {
        poll->stop();
        poll->deleteLater();
    });
    return opened;
}

// Closes every real message box soon after it opens, from a timer, as a user pressing OK does,
// and keeps the texts. No hook: the boxes are real modal windows with their own event loop.
class MessageBoxCloser {
public:
    MessageBoxCloser() {
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || box == last_ || !box->isVisible()) {
                return;
            }
            last_ = box;
            texts.push_back(box->text());
            box->button(QMessageBox::Ok)->click();
        });
        poll_.start(10);
    }
    std::vector<QString> texts;

private:
    QTimer poll_;
    QPointer<QMessageBox> last_;
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) : QObject(widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++count;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace tolvane::test
