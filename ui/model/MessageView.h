#pragma once

#include <string>

namespace tolvane {

// The program's own message boxes, as the windows' steps show them.
class MessageView {
public:
    virtual ~MessageView() = default;
    // A message box with the caption "IIS Tolvane"; information or exclamation icon. The text
    // is `cp932` followed by `systemText`, a reason in the system's own text (the locale's on
    // Linux, where a path may be UTF-8), which the view converts on its own.
    virtual void Message(bool information, const std::string& cp932,
                         const std::string& systemText) = 0;
};

}  // namespace tolvane
