#include "os/CodePage.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace tolvane {

namespace {

class Converter {
public:
    Converter(const char* from, const char* to) : cd_(iconv_open(to, from)) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() {
        if (Ok()) {
            iconv_close(cd_);
        }
    }
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts everything; on an invalid or unconvertible sequence calls onBad, which may
    // append a replacement and returns how many input bytes to skip (0 stops with failure).
    template <typename OnBad>
    bool Run(std::string_view input, std::string& output, OnBad onBad) {
        output.clear();
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(cd_, &in, &inLeft, &out, &outLeft);
            output.append(buffer, sizeof buffer - outLeft);
            if (result != static_cast<std::size_t>(-1) || errno == E2BIG) {
                continue;
            }
            const std::size_t skip = onBad(output, in, inLeft);
            if (skip == 0) {
                return false;
            }
            in += skip;
            inLeft -= skip;
        }
        // A stateful charset (ISO-2022-JP) must end back in its initial state: ESC ( B.
        while (true) {
            char* out = buffer;
            std::size_t outLeft = sizeof buffer;
            const std::size_t result = iconv(cd_, nullptr, nullptr, &out, &outLeft);
            output.append(buffer, sizeof buffer - outLeft);
            if (result != static_cast<std::size_t>(-1)) {
                return true;
            }
            if (errno != E2BIG) {
                return false;
            }
        }
    }

private:
    iconv_t cd_;
};

}  // namespace

bool ConvertCharset(std::string_view input, const char* from, const char* to, std::string& output) {
    Converter converter(from, to);
    return converter.Ok() &&
           converter.Run(input, output,
                         [](std::string&, const char*, std::size_t) { return std::size_t{0}; });
}

std::string Cp932ToUtf8(std::string_view cp932) {
    Converter converter("CP932", "UTF-8");
    std::string result;
    if (!converter.Ok()) {
        return std::string(cp932);
    }
    converter.Run(cp932, result, [](std::string& out, const char*, std::size_t) {
        out += "\xEF\xBF\xBD";
        return std::size_t{1};
    });
    return result;
}

std::string LocaleCharset() {
    const std::string codeset = nl_langinfo(CODESET);
    if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII") {
        return "UTF-8";
    }
    return codeset;
}

std::string Cp932ToLocale(std::string_view cp932) {
    const std::string charset = LocaleCharset();
    const std::string utf8 = Cp932ToUtf8(cp932);
    if (charset == "UTF-8") {
        return utf8;
    }
    Converter converter("UTF-8", charset.c_str());
    std::string result;
    if (!converter.Ok()) {
        return utf8;
    }
    converter.Run(utf8, result, [](std::string& out, const char* in, std::size_t left) {
        out += '?';
        // Skip one whole UTF-8 character: its lead byte and the continuation bytes after it.
        std::size_t skip = 1;
        while (skip < left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) {
            ++skip;
        }
        return skip;
    });
    return result;
}

bool LocaleToCp932(std::string_view text, std::string& cp932) {
    return ConvertCharset(text, LocaleCharset().c_str(), "CP932", cp932);
}

}  // namespace tolvane
