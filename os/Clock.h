#pragma once

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

}  // namespace tolvane
