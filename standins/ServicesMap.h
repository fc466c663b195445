#pragma once

#include <optional>
#include <string>
#include <vector>

#include "standins/TrustedPath.h"

namespace tolvane {

// How the Windows service names of the restart sequence act on this machine. A line
// "w3svc = nginx" maps a name to a systemd unit; "w3svc.start = PROGRAM ARGS..." and
// "w3svc.stop = ..." give explicit command lines; "mtxstop = ..." gives what mtxstop runs.
// An empty value ("msftpsvc =", "msftpsvc.stop =", "mtxstop =") says that there is nothing to
// do here for it. Names are case-insensitive, "#" starts a comment line.
class ServicesMap {
public:
    // The first of the paths that exists, else the last: by default $TOLVANE_SERVICES, else
    // services.conf beside the executable, else /etc/tolvane/services.conf.
    static std::string DefaultPath(const std::vector<std::string>& paths = SearchPaths());
    // The paths DefaultPath tries, in its order: $TOLVANE_SERVICES alone when it is set.
    static std::vector<std::string> SearchPaths();
    // The installed maps, whatever the environment says: beside the executable, then
    // /etc/tolvane/services.conf.
    static std::vector<std::string> InstalledPaths();

    // False with a message in error when the file cannot be read, a line is malformed, or
    // someone other than the user and root could change the file or a folder on its path
    // (IsTrustedPath with owners). A refused map maps nothing.
    bool Load(const std::string& path, std::string& error,
              TrustedOwners owners = TrustedOwners::UserAndRoot);
    // The same for the map's text; source names it in the message.
    bool Parse(const std::string& text, const std::string& source, std::string& error);

    // The command line (as argument vector) for "start" or "stop" of a service; an empty one
    // when the map says there is nothing to do, nothing when the name is not mapped.
    std::optional<std::vector<std::string>> Command(const std::string& name,
                                                    const std::string& action) const;
    std::optional<std::vector<std::string>> MtxStop() const;
    // Whether "net start" or "net stop" of some name runs systemctl on the unit, as systemd
    // names it ("nginx.service"; a name without a unit type is a service). Explicit commands,
    // mtxstop and empty values name no unit.
    bool MapsUnit(const std::string& unit) const;

private:
    struct Entry {
        std::string key;  // lower case: "w3svc", "w3svc.start", "mtxstop"
        std::string value;
    };
    const Entry* Find(const std::string& key) const;

    std::vector<Entry> entries_;
};

}  // namespace tolvane
