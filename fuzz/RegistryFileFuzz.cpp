// The registry file: any text that parses writes back to a text that parses to the same
// values, and any value the store can set comes back from its text unchanged.

#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz/FuzzSupport.h"
#include "registry/RegHiveData.h"

namespace tolvane::fuzz {
namespace {

bool SameValues(const RegHiveData& a, const RegHiveData& b) {
    if (a.keys.size() != b.keys.size()) {
        return false;
    }
    for (std::size_t k = 0; k < a.keys.size(); ++k) {
        const auto& x = a.keys[k];
        const auto& y = b.keys[k];
        if (x.path != y.path || x.values.size() != y.values.size()) {
            return false;
        }
        for (std::size_t v = 0; v < x.values.size(); ++v) {
            if (x.values[v].name != y.values[v].name || x.values[v].type != y.values[v].type ||
                x.values[v].data != y.values[v].data) {
                return false;
            }
        }
    }
    return true;
}

// Parse, write, parse: the same values, and writing again gives the same text.
void CheckText(const std::string& text) {
    RegHiveData first;
    if (!RegHiveData::Parse(text, first)) {
        return;
    }
    const std::string written = first.Format();
    RegHiveData second;
    Require(RegHiveData::Parse(written, second), "a written file parses");
    Require(SameValues(first, second), "parse, write, parse gives the same values");
    Require(second.Format() == written, "writing again gives the same text");
}

// Values as the store sets them, any type and bytes, under the keys the program uses; the
// names are the input's bytes after a number that keeps them apart.
void CheckValues(FuzzedDataProvider& input) {
    static const char* const kKeys[] = {"Zr.ClassDlg.1", "Zr.ClassDlg.1\\Setting", "Other\\Key"};
    RegHiveData hive;
    for (std::size_t n = 0; input.remaining_bytes() > 0; ++n) {
        const char* path = kKeys[input.ConsumeIntegralInRange<std::size_t>(0, 2)];
        RegKeyData* key = hive.FindKey(path);
        if (key == nullptr) {
            hive.keys.push_back(RegKeyData{path, {}, {}});
            key = &hive.keys.back();
        }
        RegValue value;
        value.name = std::to_string(n) + ":" + input.ConsumeRandomLengthString(64);
        value.type = input.ConsumeIntegral<std::uint32_t>() % 8;
        value.data = input.ConsumeRandomLengthString(512);
        key->values.push_back(value);
    }
    RegHiveData read;
    Require(RegHiveData::Parse(hive.Format(), read), "a written file parses");
    Require(SameValues(hive, read), "every value comes back unchanged");
}

}  // namespace
}  // namespace tolvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tolvane::fuzz;
    // "V" first: values to write; anything else: a file to read.
    if (size > 0 && data[0] == 'V') {
        FuzzedDataProvider input(data + 1, size - 1);
        CheckValues(input);
    } else {
        CheckText(std::string(Bytes(data, size)));
    }
    return 0;
}
