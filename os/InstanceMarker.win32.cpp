#include "os/InstanceMarker.h"

#include <windows.h>
// After <windows.h>.
#include <sddl.h>

#include <algorithm>
#include <cstring>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

// The holder's announcement: a small named mapping "<marker>.holder" that holds
// "<program>.<pid>" and vanishes with the holder.
constexpr DWORD kAnnouncementSize = 64;

// Unprefixed names are the session's own; the same name under Global\ is seen from every
// session (a task in session 0, a desktop, a remote desktop). The marker holds both.
std::string GlobalName(const std::string& name) {
    return "Global\\" + name;
}

std::wstring AnnouncementName(const std::string& name) {
    return ToWide(name + ".holder");
}

enum class Created { New, Exists, Failed };

Created CreateMarkMutex(const std::string& name, HANDLE& mutex) {
    // Creating is atomic: of two copies started at the same instant exactly one creates it.
    // Not inheritable, so a service started by a restart never keeps it alive.
    mutex = CreateMutexW(nullptr, FALSE, ToWide(name).c_str());
    const DWORD error = GetLastError();
    if (mutex == nullptr) {
        // Made by another account (an elevated copy, a service): held all the same.
        return error == ERROR_ACCESS_DENIED ? Created::Exists : Created::Failed;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        mutex = nullptr;
        return Created::Exists;
    }
    return Created::New;
}

bool MutexExists(const std::string& name) {
    HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, ToWide(name).c_str());
    if (mutex == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    CloseHandle(mutex);
    return true;
}

}  // namespace

struct InstanceMarker::Handles {
    HANDLE mutex = nullptr;         // the named mutex whose existence marks the copy
    HANDLE globalMutex = nullptr;   // the same, seen from every session
    HANDLE announcement = nullptr;  // the holder's announcement, a named mapping
    ~Handles() {
        if (globalMutex != nullptr) {
            CloseHandle(globalMutex);
        }
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
    // The machine-wide name first: a copy in another session holds only that one here.
    const Created global = CreateMarkMutex(GlobalName(name_), handles_->globalMutex);
    const Created local =
        global == Created::Exists ? Created::Exists : CreateMarkMutex(name_, handles_->mutex);
    if (global == Created::Exists || local == Created::Exists) {
        handles_.reset(new Handles);
        claim_ = Claim::HeldByOther;
        return;
    }
    claim_ = global == Created::New || local == Created::New ? Claim::Held : Claim::Unavailable;
}

void InstanceMarker::Announce(Program program) {
    if (claim_ != Claim::Held || handles_->announcement != nullptr) {
        return;
    }
    const std::string text = AnnouncementText(program, static_cast<long>(GetCurrentProcessId()));
    // A global mapping needs the right to create global objects (administrators, services);
    // without it the announcement is seen from this session only.
    // Readable by every account: a user's later copy must learn that the service (LocalSystem,
    // whose objects others could not open by default) holds the marker.
    SECURITY_ATTRIBUTES readable{sizeof readable, nullptr, FALSE};
    ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;OW)(A;;GR;;;WD)", SDDL_REVISION_1,
        &readable.lpSecurityDescriptor, nullptr);
    HANDLE mapping = nullptr;
    for (const std::string& name : {GlobalName(name_), name_}) {
        mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, &readable, PAGE_READWRITE, 0,
                                     kAnnouncementSize, AnnouncementName(name).c_str());
        if (mapping != nullptr) {
            break;
        }
    }
    LocalFree(readable.lpSecurityDescriptor);
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
    HANDLE mapping =
        OpenFileMappingW(FILE_MAP_READ, FALSE, AnnouncementName(GlobalName(name)).c_str());
    if (mapping == nullptr) {
        mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, AnnouncementName(name).c_str());
    }
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
    return MutexExists(GlobalName(name)) || MutexExists(name);
}

}  // namespace tolvane
