#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tolvane {

// Lets one name lookup run at a time among the copies of this program, as the named
// semaphore around gethostbyname does. It only orders lookups: when the lock cannot be had
// (nothing usable under the name, or held by another copy beyond the wait) the lookup goes
// ahead without it. Released by the destructor.
class ResolverLock {
public:
    ResolverLock(const std::string& name, std::chrono::milliseconds wait);
    ResolverLock(const ResolverLock&) = delete;
    ResolverLock& operator=(const ResolverLock&) = delete;
    ~ResolverLock();

    bool Locked() const { return locked_; }

    // The lock of the user who runs the program, in a place no other user controls.
    static std::string DefaultName();

private:
    std::intptr_t handle_ = -1;
    bool locked_ = false;
};

}  // namespace tolvane
