#include "os/InstanceMarker.h"

#include <chrono>
#include <cstdlib>
#include <iterator>
#include <thread>

namespace tolvane {

std::string InstanceMarker::ProgramName() {
    constexpr char kProgramName[] = "hPrevTOLVInstance";
    const char* test = std::getenv("TOLVANE_TEST_INSTANCE");
    if (test == nullptr || *test == '\0') {
        return kProgramName;
    }
    // Never the users' name itself, whatever the value.
    return std::string(kProgramName) + ".test." + test;
}

namespace {

constexpr const char* kProgramNames[] = {"unknown", "window", "tolvanectl", "service"};

}  // namespace

std::string InstanceMarker::AnnouncementText(Program program, long pid) {
    return std::string(kProgramNames[static_cast<int>(program)]) + "." + std::to_string(pid);
}

InstanceMarker::Holder InstanceMarker::ParseAnnouncement(std::string_view text) {
    for (std::size_t program = 1; program < std::size(kProgramNames); ++program) {
        const std::string tag = std::string(kProgramNames[program]) + ".";
        const std::string_view digits = text.substr(std::min(tag.size(), text.size()));
        if (text.starts_with(tag) && !digits.empty() && digits.size() < 12 &&
            digits.find_first_not_of("0123456789") == std::string_view::npos) {
            return Holder{static_cast<Program>(program), std::stol(std::string(digits))};
        }
    }
    return Holder{};
}

InstanceMarker::Holder InstanceMarker::FindHolder(const std::string& name) {
    // A holder announces itself right after it took the marker; give it that moment.
    constexpr auto kAnnouncePatience = std::chrono::milliseconds(500);
    constexpr auto kLookAgain = std::chrono::milliseconds(20);
    const auto giveUp = std::chrono::steady_clock::now() + kAnnouncePatience;
    Holder holder = ReadAnnouncement(name);
    while (holder.program == Program::Unknown && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(kLookAgain);
        holder = ReadAnnouncement(name);
    }
    return holder;
}

}  // namespace tolvane
