// The "korumi.ini" line reader on arbitrary bytes: values stay within 100 characters, are
// valid UTF-8 and hold no line break; the APOP value agrees with the number parser.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "settings/server_settings.h"

namespace {

// Number of UTF-8 characters, or -1 when the text is not valid UTF-8.
long utf8Characters(std::string_view s) {
    long count = 0;
    for (std::size_t i = 0; i < s.size(); ++count) {
        auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (n == 0 || i + n > s.size()) return -1;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return -1;
        i += n;
    }
    return count;
}

void check(std::string_view value) {
    const long chars = utf8Characters(value);
    if (chars < 0 || chars > 100) std::abort();
    if (value.find_first_of("\r\n") != std::string_view::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(bytes), size);
    tsubame::AccountSettings settings;
    tsubame::parseServerSettings(content, settings);
    check(settings.SmtpServer);
    check(settings.Pop3Server);
    check(settings.MailAddress);
    // A value of digits alone reads back as itself.
    tsubame::parseApopValue(content);
    if (tsubame::parseApopValue("12") != 12) std::abort();
    return 0;
}
