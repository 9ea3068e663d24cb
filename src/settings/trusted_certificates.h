#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "core/status.h"

namespace tsubame {

// "★MailData/trusted-certificates": the server certificates the user chose to trust, one
// line "host:port SHA-256" each (UTF-8, LF). A missing file trusts nothing.
std::map<std::string, std::string> readTrustedCertificates(const std::filesystem::path& file);
// Trusts fingerprint for server from now on, in place of any earlier one.
Status trustCertificate(const std::filesystem::path& file, const std::string& server,
                        const std::string& fingerprint);

}  // namespace tsubame
