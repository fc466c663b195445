#include "ui/win32/WindowText.h"

#include "os/CodePage.h"
#include "os/Win32Text.h"

namespace tolvane {

void SetTextCp932(HWND window, const std::string& cp932) {
    SetWindowTextW(window, ToWide(cp932).c_str());
}

std::string TextCp932(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return FromWide(text);
}

void SetItemTextCp932(HWND dialog, int id, const std::string& cp932) {
    SetTextCp932(GetDlgItem(dialog, id), cp932);
}

std::string ItemTextCp932(HWND dialog, int id) {
    return TextCp932(GetDlgItem(dialog, id));
}

bool ItemTextStorable(HWND dialog, int id, std::string& cp932) {
    HWND field = GetDlgItem(dialog, id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
    return LocaleToCp932(FromWide(text, CP_UTF8), cp932);
}

void SetChildTexts(HWND dialog, std::span<const std::optional<UiText>> texts) {
    HWND child = GetWindow(dialog, GW_CHILD);
    for (const auto& text : texts) {
        if (child == nullptr) {
            return;
        }
        if (text) {
            SetTextCp932(child, Text(*text));
        }
        child = GetWindow(child, GW_HWNDNEXT);
    }
}

namespace {

void SetMenuItemText(HMENU menu, UINT item, BOOL byPosition, UiText text) {
    std::wstring wide = ToWide(Text(text));
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STRING;
    info.dwTypeData = wide.data();
    SetMenuItemInfoW(menu, item, byPosition, &info);
}

}  // namespace

void SetMenuText(HMENU menu, int id, UiText text) {
    SetMenuItemText(menu, static_cast<UINT>(id), FALSE, text);
}

void SetPopupText(HMENU menu, int position, UiText text) {
    SetMenuItemText(menu, static_cast<UINT>(position), TRUE, text);
}

std::string ApplicationName() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name(path, length);
    name = name.substr(name.find_last_of(L"\\/") + 1);
    const auto dot = name.find_last_of(L'.');
    return FromWide(dot == std::wstring::npos ? name : name.substr(0, dot));
}

}  // namespace tolvane
