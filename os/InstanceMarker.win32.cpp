#include "os/InstanceMarker.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

constexpr wchar_t kMainWindowTitle[] = L"IIS Tolvane";

// The holder's announcement: a small named mapping "<marker>.holder" that holds
// "<program>.<pid>" and vanishes with the holder.
constexpr DWORD kAnnouncementSize = 64;

std::wstring AnnouncementName(const std::string& name) {
    return ToWide(name + ".holder");
}

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
    if (holderInfo_ != nullptr) {
        CloseHandle(holderInfo_);
    }
    if (mutex_ != nullptr) {
        CloseHandle(mutex_);
    }
}

void InstanceMarker::Announce(Program program) {
    if (state_ != Claim::Held || holderInfo_ != nullptr) {
        return;
    }
    const std::string text = AnnouncementText(program, static_cast<long>(GetCurrentProcessId()));
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        kAnnouncementSize, AnnouncementName(name_).c_str());
    if (mapping == nullptr) {
        return;
    }
    if (void* view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kAnnouncementSize)) {
        std::memcpy(view, text.c_str(), std::min<std::size_t>(text.size() + 1, kAnnouncementSize));
        UnmapViewOfFile(view);
    }
    holderInfo_ = mapping;
}

InstanceMarker::Holder InstanceMarker::ReadAnnouncement(const std::string& name) {
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, AnnouncementName(name).c_str());
    if (mapping == nullptr) {
        return Holder{};
    }
    Holder holder;
    if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, kAnnouncementSize)) {
        const char* text = static_cast<const char*>(view);
        holder = ParseAnnouncement(std::string_view(text, strnlen(text, kAnnouncementSize)));
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return holder;
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

bool InstanceMarker::IsHeld(const std::string& name) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, ToWide(name).c_str());
    if (mutex == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    CloseHandle(mutex);
    return true;
}

}  // namespace tolvane
