#include "os/Win32Text.h"

#include <windows.h>

namespace tolvane {

std::wstring ToWide(std::string_view bytes, unsigned codePage) {
    if (bytes.empty()) {
        return {};
    }
    const int length = static_cast<int>(bytes.size());
    const int n = MultiByteToWideChar(codePage, 0, bytes.data(), length, nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), length, text.data(), n);
    return text;
}

std::string FromWide(std::wstring_view text, unsigned codePage) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int n =
        WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), length, bytes.data(), n, nullptr, nullptr);
    return bytes;
}

std::wstring PathToWide(std::string_view path) {
    return ToWide(path, CP_UTF8);
}

std::string PathFromWide(std::wstring_view path) {
    return FromWide(path, CP_UTF8);
}

}  // namespace tolvane
