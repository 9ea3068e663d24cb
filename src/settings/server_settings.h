#pragma once

#include <filesystem>
#include <string_view>

#include "core/status.h"
#include "settings/account_settings.h"

namespace tsubame {

// "korumi.ini": the lines "SMTP=", "POP3=", "MAIL=" and "APOP=" (code page 932, CR LF).
// Prefixes are compared exactly; values are cut at 100 characters; a later line wins.
// A missing, empty or unreadable file, or one that is no regular file (a folder, a FIFO),
// leaves the settings as they are and gives the reason.
Status loadServerSettings(const std::filesystem::path& file, AccountSettings& settings);
// Applies the lines of content (code page 932 bytes) to settings.
void parseServerSettings(std::string_view content, AccountSettings& settings);
// Writes exactly the four lines, each ended by CR LF. A file that exists but cannot be read
// is left as it is and gives the reason.
Status saveServerSettings(const std::filesystem::path& file, const AccountSettings& settings);

// The value of an "APOP=" line: the longest leading decimal number (0 without one), rounded
// half to even into a 16-bit signed integer.
std::int16_t parseApopValue(std::string_view text);

}  // namespace tsubame
