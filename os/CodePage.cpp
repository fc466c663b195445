#include "os/CodePage.h"

#include <cstdio>
#include <cstdlib>

namespace tolvane {

std::string Sjis(std::string_view utf8) {
    std::string result;
    if (!ConvertCharset(utf8, "UTF-8", "CP932", result)) {
        std::fprintf(stderr, "internal text not representable in CP932\n");
        std::abort();
    }
    return result;
}

}  // namespace tolvane
