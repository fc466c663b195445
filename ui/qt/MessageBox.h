#pragma once

#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace tolvane {

// Every message box of the program goes through here, so tests can answer them without a
// modal box ever blocking.
class MessageBox {
public:
    enum class Icon { Information, Exclamation };

    struct Shown {
        Icon icon;
        QString caption;
        QString text;
        bool beep = false;  // a beep, not a box
    };
    using Hook = std::function<void(const Shown&)>;

    // A modal box with the one button OK; the text is shown as plain text, never as markup.
    static void Show(QWidget* parent, Icon icon, const QString& caption, const QString& text);

    // The program's own box, caption "IIS Tolvane": a CP932 text followed by a text in the
    // locale's charset (a reason the system gave).
    static void ShowProgramMessage(QWidget* parent, bool information, const std::string& cp932,
                                   const std::string& systemText);

    // The error beep of a dialog for a key or click it refuses.
    static void Beep();

    // With a hook set, boxes and beeps go to it instead of the screen. An empty hook restores
    // the real ones.
    static void SetHook(Hook hook);
};

}  // namespace tolvane
