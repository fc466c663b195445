#include "os/InstanceMarker.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

// The holder's announcement: a small named mapping "<marker>.holder" that holds
// "<program>.<pid>" and vanishes with the holder.
constexpr DWORD kAnnouncementSize = 64;

std::wstring AnnouncementName(const std::string& name) {
    return ToWide(name + ".holder");
}

}  // namespace

struct InstanceMarker::Handles {
    HANDLE mutex = nullptr;         // the named mutex whose existence marks the copy
    HANDLE announcement = nullptr;  // the holder's announcement, a named mapping
    ~Handles() {
        if (announcement != nullptr) {
            CloseHandle(announcement);
        }
        if (mutex != nullptr) {
            CloseHandle(mutex);
        }
    }
};

InstanceMarker::InstanceMarker(InstanceMarker&& other) noexcept = default;
InstanceMarker& InstanceMarker::operator=(InstanceMarker&& other) noexcept = default;
InstanceMarker::~InstanceMarker() = default;

InstanceMarker::InstanceMarker(std::string name)
    : name_(std::move(name)), handles_(std::make_unique<Handles>()) {
    // Creating is atomic: of two copies started at the same instant exactly one creates it.
    // Not inheritable, so a service started by a restart never keeps it alive.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, ToWide(name_).c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        claim_ = error == ERROR_ACCESS_DENIED ? Claim::HeldByOther : Claim::Unavailable;
        return;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        claim_ = Claim::HeldByOther;
        return;
    }
    handles_->mutex = mutex;
    claim_ = Claim::Held;
}

void InstanceMarker::Announce(Program program) {
    if (claim_ != Claim::Held || handles_->announcement != nullptr) {
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
    handles_->announcement = mapping;
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

bool InstanceMarker::IsHeld(const std::string& name) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, ToWide(name).c_str());
    if (mutex == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    CloseHandle(mutex);
    return true;
}

}  // namespace tolvane
