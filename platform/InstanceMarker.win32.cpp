#include "platform/InstanceMarker.h"

#include <windows.h>

#include "platform/Win32Text.h"

namespace tolvane {

namespace {

constexpr wchar_t kMainWindowTitle[] = L"IIS Tolvane";

}  // namespace

InstanceMarker::InstanceMarker(std::string name) : name_(std::move(name)) {
    // Creating is atomic: of two copies started at the same instant exactly one creates it.
    // Not inheritable, so a service started by a restart never keeps it alive.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, ToWide(name_).c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        state_ = error == ERROR_ACCESS_DENIED ? Claim::HeldByOther : Claim::Unavailable;
        return;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        state_ = Claim::HeldByOther;
        return;
    }
    mutex_ = mutex;
    state_ = Claim::Held;
}

InstanceMarker::~InstanceMarker() {
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

// A later copy raises the running copy's window itself; nothing waits on the marker.
int InstanceMarker::AcceptWaiting() {
    return -1;
}

InstanceMarker::Request InstanceMarker::ReadRequest(int) {
    return Request::Invalid;
}

void InstanceMarker::Answer(int) {}

bool InstanceMarker::FromSameUser(int) {
    return false;
}

bool InstanceMarker::AskToShow(const std::string&, int) {
    HWND window = FindWindowW(nullptr, kMainWindowTitle);
    if (window == nullptr) {
        return false;
    }
    ShowWindow(window, SW_SHOW);
    BringWindowToTop(window);
    return true;
}

}  // namespace tolvane
