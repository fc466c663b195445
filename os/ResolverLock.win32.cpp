#include "os/ResolverLock.h"

#include <windows.h>

#include <algorithm>

#include "os/Win32Text.h"

namespace tolvane {

namespace {

constexpr const char* kSemaphoreName = "SWAPPREENTRANTFUNCSWAPPREENTRANTFUNC";

}  // namespace

// The named semaphore itself; unprefixed, a name is local to the session, as the user's own.
std::string ResolverLock::DefaultName() {
    return kSemaphoreName;
}

ResolverLock::ResolverLock(const std::string& name, std::chrono::milliseconds wait) {
    // Count 1, at most 1; an existing semaphore of that name is opened as it is.
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, ToWide(name).c_str());
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
