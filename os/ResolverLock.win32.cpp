#include "os/ResolverLock.h"

#include <windows.h>

#include <algorithm>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

constexpr const char* kSemaphoreName = "SWAPPREENTRANTFUNCSWAPPREENTRANTFUNC";

}  // namespace

// Machine-wide: a monitor in another session (a task in session 0) resolves under it too.
std::string ResolverLock::DefaultName() {
    return std::string("Global\\") + kSemaphoreName;
}

ResolverLock::ResolverLock(const std::string& name, std::chrono::milliseconds wait) {
    // Count 1, at most 1; an existing semaphore of that name is opened as it is.
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, ToWide(name).c_str());
    constexpr std::string_view kGlobal = "Global\\";
    if (semaphore == nullptr && GetLastError() == ERROR_ACCESS_DENIED &&
        std::string_view(name).starts_with(kGlobal)) {
        // Made by another account without access for this one: the session's own then.
        semaphore = CreateSemaphoreW(nullptr, 1, 1, ToWide(name.substr(kGlobal.size())).c_str());
    }
    if (semaphore == nullptr) {
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(semaphore);
    const auto ms = std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, 0x7FFFFFFF);
    locked_ = WaitForSingleObject(semaphore, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
}

ResolverLock::~ResolverLock() {
    if (handle_ >= 0) {
        HANDLE semaphore = reinterpret_cast<HANDLE>(handle_);
        if (locked_) {
            ReleaseSemaphore(semaphore, 1, nullptr);
        }
        CloseHandle(semaphore);
    }
}

}  // namespace tolvane
