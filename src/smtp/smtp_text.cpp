#include "smtp/smtp_text.h"

#include <glib.h>

#include "core/cp932.h"
#include "mime/mime_charset.h"

namespace tsubame {

std::optional<std::string> exactCp932(std::string_view utf8) {
    std::string cp932 = utf8ToCp932(utf8);
    if (cp932ToUtf8(cp932) != utf8) return std::nullopt;
    return cp932;
}

std::string validUtf8(std::string_view text) {
    if (isValidUtf8(text)) return std::string(text);
    gchar* repaired = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out(repaired);
    g_free(repaired);
    return out;
}

std::string utf8OneLine(std::string_view utf8) {
    // Control characters are single bytes in UTF-8: no byte of a longer character is below 0x80.
    std::string out(utf8);
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) c = ' ';
    }
    return out;
}

}  // namespace tsubame
