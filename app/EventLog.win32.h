#pragma once

#include <string>
#include <vector>

#include "monitor/CycleEvents.h"

namespace tolvane {

// The Application log's source "IIS Tolvane": its registration names tolvanectl.exe, which
// carries the message table (EventMessages.mc), as the file of its texts.
extern const wchar_t kEventSourceKey[];  // under HKEY_LOCAL_MACHINE

// Registers the source with that file; false with the reason when it cannot.
bool RegisterEventLogSource(const std::wstring& messageFile, std::string& error);
// Removes the registration; true also when there was none.
bool UnregisterEventLogSource(std::string& error);

// One event as it goes to the log: its id in the message table, its type and its inserts.
struct EventRecord {
    unsigned long id = 0;
    unsigned short type = 0;  // EVENTLOG_INFORMATION_TYPE, _WARNING_TYPE or _ERROR_TYPE
    std::vector<std::wstring> inserts;
};
EventRecord ToEventRecord(CycleEvent event, const std::vector<std::string>& texts);

// Reports each event to the Application log under the source; nothing when the log cannot be
// opened.
EventReport ApplicationLogReport();

}  // namespace tolvane
