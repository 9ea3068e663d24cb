#include "settings/server_settings.h"

#include <algorithm>

#include "core/cp932.h"
#include "core/file_io.h"
#include "settings/settings_file_read.h"

namespace tsubame {
namespace {

constexpr std::size_t kMaxChars = 100;

// The first 100 characters (not bytes) of a code page 932 text, as UTF-8. Counted after
// decoding, so a broken byte pair that decodes to two characters counts as two.
std::string firstCharacters(std::string_view cp932) {
    std::string utf8 = cp932ToUtf8(cp932);
    std::size_t i = 0;
    for (std::size_t chars = 0; i < utf8.size() && chars < kMaxChars; ++chars) {
        do ++i;
        while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80);
    }
    utf8.resize(i);
    return utf8;
}

}  // namespace

std::int16_t parseApopValue(std::string_view text) {
    // Worked out digit by digit rather than with strtod, whose decimal point follows the
    // user's locale.
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    std::size_t i = text.find_first_not_of(" \t");  // leading blanks are skipped
    if (i == std::string_view::npos) return 0;
    const bool negative = text[i] == '-';
    if (text[i] == '-' || text[i] == '+') ++i;
    std::int64_t whole = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
        whole = std::min<std::int64_t>(whole * 10 + (text[i] - '0'), 1 << 20);
    // Round half to even on the fraction: above one half goes up, exactly one half goes to
    // the even neighbour.
    if (i < text.size() && text[i] == '.') {
        std::string_view fraction = text.substr(i + 1);
        fraction =
            fraction.substr(0, std::ranges::find_if_not(fraction, isDigit) - fraction.begin());
        if (!fraction.empty() && fraction[0] >= '5') {
            const bool exactlyHalf =
                fraction[0] == '5' && fraction.find_first_not_of('0', 1) == std::string_view::npos;
            if (!exactlyHalf || whole % 2 != 0) ++whole;
        }
    }
    const std::int64_t value = negative ? -whole : whole;
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, -32768, 32767));
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
        if (prefix == "SMTP=")
            settings.SmtpServer = firstCharacters(rest);
        else if (prefix == "POP3=")
            settings.Pop3Server = firstCharacters(rest);
        else if (prefix == "MAIL=")
            settings.MailAddress = firstCharacters(rest);
        else if (prefix == "APOP=")
            settings.UseApop = parseApopValue(firstCharacters(rest));
    }
}

Status loadServerSettings(const std::filesystem::path& file, AccountSettings& settings) {
    std::string content;
    bool exists = false;
    if (Status st = readSettingsFile(file, content, exists); !st) return st;
    if (!exists) return Status::failure("設定ファイル「" + file.string() + "」がありません。");
    if (content.empty()) return Status::failure("設定ファイル「" + file.string() + "」は空です。");
    parseServerSettings(content, settings);
    return {};
}

Status saveServerSettings(const std::filesystem::path& file, const AccountSettings& settings) {
    // Each value is one line: a pasted line break would otherwise add lines of its own
    // ("APOP=1" hidden in a server name).
    auto line = [](std::string_view prefix, std::string_view utf8) {
        std::string value =
            utf8ToCp932(utf8.substr(0, std::min(utf8.find_first_of("\r\n"), utf8.size())));
        return std::string(prefix) + value + "\r\n";
    };
    // A file that is there but cannot be read holds settings nobody has seen: never replace it.
    std::string content;
    bool exists = false;
    if (Status st = readSettingsFile(file, content, exists); !st)
        return Status::failure(st.message() + "（読み込めないファイルは上書きしません）");
    content.clear();
    content += line("SMTP=", settings.SmtpServer);
    content += line("POP3=", settings.Pop3Server);
    content += line("MAIL=", settings.MailAddress);
    content += "APOP=" + std::to_string(settings.UseApop) + "\r\n";
    return writeFileAtomically(file, content);
}

}  // namespace tsubame
