#include "app/EventLog.win32.h"

#include <windows.h>

#include <memory>

#include "EventMessages.h"
#include "os/Win32Text.h"

namespace tolvane {

const wchar_t kEventSourceKey[] =
    L"SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\IIS Tolvane";

namespace {

constexpr wchar_t kEventSource[] = L"IIS Tolvane";

std::string SystemError(const char* what, LSTATUS status) {
    return std::string(what) + " failed (error " + std::to_string(status) + ")" +
           (status == ERROR_ACCESS_DENIED ? ": run it as administrator" : "");
}

}  // namespace

bool RegisterEventLogSource(const std::wstring& messageFile, std::string& error) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kEventSourceKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        error = SystemError("registering the event source", status);
        return false;
    }
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    status = RegSetValueExW(key, L"EventMessageFile", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(messageFile.c_str()),
                            static_cast<DWORD>((messageFile.size() + 1) * sizeof(wchar_t)));
    if (status == ERROR_SUCCESS) {
        status = RegSetValueExW(key, L"TypesSupported", 0, REG_DWORD,
                                reinterpret_cast<const BYTE*>(&types), sizeof types);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        error = SystemError("writing the event source's values", status);
        return false;
    }
    return true;
}

bool UnregisterEventLogSource(std::string& error) {
    const LSTATUS status = RegDeleteKeyW(HKEY_LOCAL_MACHINE, kEventSourceKey);
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
        error = SystemError("removing the event source", status);
        return false;
    }
    return true;
}

EventRecord ToEventRecord(CycleEvent event, const std::vector<std::string>& texts) {
    struct Entry {
        DWORD id;
        WORD type;
    };
    Entry entry{};
    switch (event) {
        case CycleEvent::RestartBegun:
            entry = {MSG_RESTART_BEGUN, EVENTLOG_WARNING_TYPE};
            break;
        case CycleEvent::CommandFailed:
            entry = {MSG_COMMAND_FAILED, EVENTLOG_WARNING_TYPE};
            break;
        case CycleEvent::RestartEnded:
            entry = {MSG_RESTART_ENDED, EVENTLOG_INFORMATION_TYPE};
            break;
        case CycleEvent::Recovered:
            entry = {MSG_RECOVERED, EVENTLOG_INFORMATION_TYPE};
            break;
        case CycleEvent::LimitReached:
            entry = {MSG_LIMIT_REACHED, EVENTLOG_ERROR_TYPE};
            break;
        case CycleEvent::MailFailed:
            entry = {MSG_MAIL_FAILED, EVENTLOG_WARNING_TYPE};
            break;
        case CycleEvent::SettingsRefused:
            entry = {MSG_SETTINGS_REFUSED, EVENTLOG_ERROR_TYPE};
            break;
    }
    EventRecord record{entry.id, entry.type, {}};
    for (const std::string& text : texts) {
        record.inserts.push_back(ToWide(text));
    }
    return record;
}

EventReport ApplicationLogReport() {
    std::shared_ptr<void> log(RegisterEventSourceW(nullptr, kEventSource), [](HANDLE handle) {
        if (handle != nullptr) {
            DeregisterEventSource(handle);
        }
    });
    return [log](CycleEvent event, const std::vector<std::string>& texts) {
        if (log == nullptr) {
            return;
        }
        const EventRecord record = ToEventRecord(event, texts);
        std::vector<const wchar_t*> inserts;
        for (const std::wstring& insert : record.inserts) {
            inserts.push_back(insert.c_str());
        }
        ReportEventW(log.get(), record.type, 0, record.id, nullptr,
                     static_cast<WORD>(inserts.size()), 0,
                     inserts.empty() ? nullptr : inserts.data(), nullptr);
    };
}

}  // namespace tolvane
