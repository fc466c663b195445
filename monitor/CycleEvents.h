#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tolvane {

// What the cycle tells an administrator's event log besides its restart log, each with its
// texts (CP932, as the log's lines).
enum class CycleEvent {
    RestartBegun,     // why the check failed
    CommandFailed,    // the command line; how it ended ("終了コード 2")
    RestartEnded,     // none
    Recovered,        // the recovery's line
    LimitReached,     // the limit's line
    MailFailed,       // why
    SettingsRefused,  // the refusal; told by the program, before any cycle starts
};

using EventReport = std::function<void(CycleEvent event, const std::vector<std::string>& texts)>;

}  // namespace tolvane
