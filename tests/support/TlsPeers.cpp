#include "tests/support/TlsPeers.h"

#include <cstdlib>

#include "tests/support/TestSupport.h"

namespace tolvane::test {

std::string TestCerts::Fingerprint(const std::string& name) const {
    return ReadFile(File(name + ".sha256")).substr(0, 64);
}

std::uint16_t TlsPeers::Port(const std::string& kind) const {
    const auto found = ports_.find(kind);
    return found == ports_.end() ? 0 : found->second;
}

std::map<std::string, std::uint16_t> ParseTlsPorts(const std::string& text) {
    std::map<std::string, std::uint16_t> ports;
    std::size_t at = 0;
    while (at < text.size()) {
        auto end = text.find_first_of(",\n", at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string item = text.substr(at, end - at);
        if (const auto equals = item.find('='); equals != std::string::npos) {
            ports[item.substr(0, equals)] =
                static_cast<std::uint16_t>(std::atoi(item.c_str() + equals + 1));
        }
        at = end + 1;
    }
    return ports;
}

}  // namespace tolvane::test
