#include "os/CodePage.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

struct CharsetName {
    const char* name;
    unsigned codePage;
};

// The charsets the system converts between, by the names iconv gives them.
constexpr CharsetName kCharsets[] = {
    {"CP932", 932}, {"SHIFT_JIS", 932}, {"UTF-8", CP_UTF8}, {"ISO-2022-JP", 50220}};

unsigned CodePageOf(const char* name) {
    for (const auto& charset : kCharsets) {
        if (_stricmp(charset.name, name) == 0) {
            return charset.codePage;
        }
    }
    return 0;
}

bool StrictToWide(std::string_view input, unsigned codePage, std::wstring& text) {
    text.clear();
    if (input.empty()) {
        return true;
    }
    const int length = static_cast<int>(input.size());
    const int n =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, input.data(), length, nullptr, 0);
    if (n <= 0) {
        return false;
    }
    text.resize(static_cast<std::size_t>(n));
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, input.data(), length, text.data(),
                               n) == n;
}

bool StrictFromWide(const std::wstring& text, unsigned codePage, std::string& output) {
    output.clear();
    if (text.empty()) {
        return true;
    }
    const int length = static_cast<int>(text.size());
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;
    const int n = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr,
                                      usedDefaultOut);
    if (n <= 0 || usedDefault) {
        return false;
    }
    output.resize(static_cast<std::size_t>(n));
    return WideCharToMultiByte(codePage, flags, text.data(), length, output.data(), n, nullptr,
                               usedDefaultOut) == n &&
           !usedDefault;
}

}  // namespace

bool ConvertCharset(std::string_view input, const char* from, const char* to, std::string& output) {
    const unsigned fromPage = CodePageOf(from);
    const unsigned toPage = CodePageOf(to);
    std::wstring text;
    return fromPage != 0 && toPage != 0 && StrictToWide(input, fromPage, text) &&
           StrictFromWide(text, toPage, output);
}

std::string Cp932ToUtf8(std::string_view cp932) {
    // Bytes that are no CP932 become the system's replacement character, never lost silently.
    return FromWide(ToWide(cp932), CP_UTF8);
}

// tolvanectl takes its arguments as UTF-16 and writes to the console itself (os/Console),
// so the texts it handles in between are UTF-8 whatever the system's code pages are.
std::string LocaleCharset() {
    return "UTF-8";
}

std::string Cp932ToLocale(std::string_view cp932) {
    return Cp932ToUtf8(cp932);
}

bool LocaleToCp932(std::string_view text, std::string& cp932) {
    return ConvertCharset(text, "UTF-8", "CP932", cp932);
}

}  // namespace tolvane
