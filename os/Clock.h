#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>

namespace tolvane {

// Pauses and the wall clock behind one seam, so tests can run the cycle in virtual time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual void Pause(std::uint32_t ms) = 0;
    virtual std::time_t Now() = 0;
};

class SystemClock final : public Clock {
public:
    void Pause(std::uint32_t ms) override;
    std::time_t Now() override;
};

// The process-wide real clock.
Clock& RealClock();

// Milliseconds of the steady clock since `start`, as durations are reported.
inline std::uint32_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
}

}  // namespace tolvane
