// tolvane-screenshots.exe: opens the main window, the mail settings dialog (and its TLS and
// authentication dialog) and the About box from their templates and writes what the screen
// shows of each, frame and caption included, into PNG files for the README. Usage:
// tolvane-screenshots.exe [FOLDER] (default docs). scripts/windows-screenshots runs it under Wine.
#include <cstdio>
#include <functional>
#include <string>

#include "app/ExampleMail.h"
#include "registry/Registry.h"
#include "ui/model/CommandId.h"
#include "ui/win32/MonitorDialog.h"

// <shellapi.h> and <wincodec.h> need <windows.h> before them.
// clang-format off
#include <windows.h>
#include <shellapi.h>
#include <wincodec.h>
// clang-format on

using namespace tolvane;

namespace {

// Handles this thread's messages for a while, so that every window has painted.
void Pump(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (GetTickCount64() < end) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

// Writes 24-bit bottom-up rows as a PNG through the Windows Imaging Component.
bool WritePng(const std::wstring& path, int width, int height, int stride, BYTE* rows) {
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    bool written = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr,
                                              CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) &&
                   SUCCEEDED(factory->CreateStream(&stream)) &&
                   SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
                   SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
                   SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
                   SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) &&
                   SUCCEEDED(frame->Initialize(nullptr)) &&
                   SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
                   SUCCEEDED(frame->SetPixelFormat(&format)) &&
                   format == GUID_WICPixelFormat24bppBGR;
    // WIC takes the rows top-down; the bitmap holds them bottom-up.
    for (int y = height - 1; written && y >= 0; --y) {
        written = SUCCEEDED(frame->WritePixels(1, static_cast<UINT>(stride),
                                               static_cast<UINT>(stride), rows + y * stride));
    }
    written = written && SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
    for (IUnknown* object : {static_cast<IUnknown*>(frame), static_cast<IUnknown*>(encoder),
                             static_cast<IUnknown*>(stream), static_cast<IUnknown*>(factory)}) {
        if (object != nullptr) {
            object->Release();
        }
    }
    return written;
}

// Copies the window's rectangle from the screen, where Wine has drawn its frame too.
bool Save(HWND window, const std::wstring& path) {
    SetForegroundWindow(window);
    // The first window of a fresh desktop can be active without having drawn its caption so.
    SendMessageW(window, WM_NCACTIVATE, TRUE, 0);
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(500);
    RECT rect;
    GetWindowRect(window, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    bool saved = BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
    GdiFlush();
    const int stride = (width * 3 + 3) & ~3;
    saved = saved && WritePng(path, width, height, stride, static_cast<BYTE*>(bits));
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    std::printf("%s %ls\n", saved ? "wrote" : "could not write", path.c_str());
    return saved;
}

// Gives `command` to the window and saves the modal box it opens, from a timer of the box's
// own message loop; then lets `inside` act on the box (open one of its own) and closes it.
bool SaveModal(HWND owner, int command, const std::wstring& path,
               const std::function<void(HWND)>& inside = {}) {
    static std::function<void()> tick;
    bool saved = false;
    bool done = false;
    tick = [&] {
        HWND box = GetLastActivePopup(owner);
        if (done || box == owner || !IsWindowVisible(box)) {
            return;
        }
        done = true;
        saved = Save(box, path);
        if (inside) {
            inside(box);
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    };
    // A copy: a box opened from this one takes the place of this tick.
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, [](HWND, UINT, UINT_PTR, DWORD) {
        const std::function<void()> call = tick;
        call();
    });
    SendMessageW(owner, WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    KillTimer(nullptr, timer);
    return saved;
}

}  // namespace

int main() {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::wstring folder = count > 1 ? arguments[1] : L"docs";
    LocalFree(arguments);
    CreateDirectoryW(folder.c_str(), nullptr);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    // The settings as a fresh installation has them; run in a prefix of its own, so no one's
    // settings change.
    RegistryHive classesRoot(RegistryHive::ClassesRootPath());
    MonitorDialog main(classesRoot, CycleParts{});
    HWND window = main.Open();
    bool saved = Save(window, folder + L"/windows-main-window.png");

    FillExampleMail(main.Record());
    // A submission service with STARTTLS and AUTH, for the picture of the "詳細" dialog.
    main.Record().SmtpSecurity = "starttls";
    main.Record().SmtpUser = "webmaster@example.jp";
    saved &= SaveModal(
        window, MailSettingsCommand, folder + L"/windows-mail-settings.png", [&](HWND mail) {
            saved &= SaveModal(mail, MailAdvancedCommand, folder + L"/windows-mail-security.png");
        });
    saved &= SaveModal(window, AboutCommand, folder + L"/windows-about.png");

    SendMessageW(window, WM_COMMAND, MAKEWPARAM(ExitCommand, BN_CLICKED), 0);
    CoUninitialize();
    return saved ? 0 : 1;
}
