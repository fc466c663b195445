#include "ui/qt/UiTexts.h"

#include <QCoreApplication>
#include <QFileInfo>

#include "os/CodePage.h"

namespace tolvane {

QString ToQString(const std::string& cp932) {
    return QString::fromStdString(Cp932ToUtf8(cp932));
}

bool StorableText(const QString& text, std::string& cp932) {
    const QByteArray utf8 = text.toUtf8();
    return ConvertCharset(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())),
                          "UTF-8", "CP932", cp932);
}

std::string FromQString(const QString& text) {
    std::string out;
    if (StorableText(text, out)) {
        return out;
    }
    // Character by character, so one missing form costs only that character.
    out.clear();
    const auto codePoints = text.toUcs4();
    for (char32_t codePoint : codePoints) {
        const QByteArray one = QString::fromUcs4(&codePoint, 1).toUtf8();
        std::string converted;
        if (ConvertCharset(std::string_view(one.constData(), static_cast<std::size_t>(one.size())),
                           "UTF-8", "CP932", converted)) {
            out += converted;
        } else {
            out += '?';
        }
    }
    return out;
}

QString ApplicationName() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

}  // namespace tolvane
