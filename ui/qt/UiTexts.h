#pragma once

#include <QString>
#include <string>

#include "ui/model/UiTexts.h"

namespace tolvane {

// For the widgets: CP932 to Unicode; bytes that are not CP932 show as U+FFFD.
QString ToQString(const std::string& cp932);
inline QString QText(UiText id) {
    return ToQString(Text(id));
}

// From the widgets: Unicode to CP932. A character that CP932 lacks becomes "?", as an ANSI
// window gives it back.
std::string FromQString(const QString& text);
// The text in CP932; false when a character has no form there.
bool StorableText(const QString& text, std::string& cp932);

// The executable's file name without its extension: the caption of the framework's own
// messages.
QString ApplicationName();

}  // namespace tolvane
