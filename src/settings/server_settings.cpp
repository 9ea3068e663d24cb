#include "settings/server_settings.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include "core/cp932.h"
#include "core/file_io.h"

namespace tsubame {
namespace {

constexpr std::size_t kMaxChars = 100;

// The first 100 characters (not bytes) of a code page 932 text, as UTF-8.
std::string firstCharacters(std::string_view cp932) {
    std::size_t i = 0, chars = 0;
    while (i < cp932.size() && chars < kMaxChars) {
        i += (isCp932LeadByte(static_cast<unsigned char>(cp932[i])) && i + 1 < cp932.size()) ? 2 : 1;
        ++chars;
    }
    return cp932ToUtf8(cp932.substr(0, i));
}

}  // namespace

std::int16_t parseApopValue(std::string_view text) {
    // Leading blanks are skipped like the numeric conversion of the line format does.
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string_view::npos) return 0;
    std::size_t start = i;
    if (text[i] == '-' || text[i] == '+') ++i;
    std::size_t digitsStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    std::size_t digitCount = i - digitsStart;
    if (i < text.size() && text[i] == '.') {
        std::size_t f = i + 1;
        while (f < text.size() && text[f] >= '0' && text[f] <= '9') ++f;
        digitCount += f - i - 1;
        i = f;
    }
    if (digitCount == 0) return 0;
    double value = std::strtod(std::string(text.substr(start, i - start)).c_str(), nullptr);
    value = std::nearbyint(value);  // the default rounding mode is half to even
    if (value > 32767) value = 32767;
    if (value < -32768) value = -32768;
    return static_cast<std::int16_t>(value);
}

void parseServerSettings(std::string_view content, AccountSettings& settings) {
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(start, end - start);
        start = end + 1;
        if (end < content.size() && content[end] == '\r' && start < content.size() &&
            content[start] == '\n')
            ++start;
        if (line.size() < 5) continue;
        std::string_view prefix = line.substr(0, 5);
        std::string_view rest = line.substr(5);
        if (prefix == "SMTP=") settings.SmtpServer = firstCharacters(rest);
        else if (prefix == "POP3=") settings.Pop3Server = firstCharacters(rest);
        else if (prefix == "MAIL=") settings.MailAddress = firstCharacters(rest);
        else if (prefix == "APOP=") settings.UseApop = parseApopValue(firstCharacters(rest));
    }
}

void loadServerSettings(const std::filesystem::path& file, AccountSettings& settings) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    std::ostringstream ss;
    ss << in.rdbuf();
    parseServerSettings(ss.str(), settings);
}

Status saveServerSettings(const std::filesystem::path& file, const AccountSettings& settings) {
    std::string content;
    content += "SMTP=" + utf8ToCp932(settings.SmtpServer) + "\r\n";
    content += "POP3=" + utf8ToCp932(settings.Pop3Server) + "\r\n";
    content += "MAIL=" + utf8ToCp932(settings.MailAddress) + "\r\n";
    content += "APOP=" + std::to_string(settings.UseApop) + "\r\n";
    return writeFileAtomically(file, content);
}

}  // namespace tsubame
