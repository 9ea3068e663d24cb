#pragma once

// Mails with attachments and the files a check leaves, for the tests of the check.
#include <filesystem>
#include <map>
#include <string>

#include "support/pop3_test_helpers.h"
#include "support/temp_folder.h"

namespace tsubame::testing {

using Files = std::map<std::string, std::string>;  // name -> content

inline Files filesIn(const std::filesystem::path& folder) {
    Files files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        files[entry.path().filename().string()] =
            entry.is_symlink() ? "-> " + std::filesystem::read_symlink(entry.path()).string()
                               : readFileBytes(entry.path());
    return files;
}

// A mail with a text body and base64 attachments.
inline std::string mailWith(const std::string& subject, const std::string& text,
                            const Files& parts) {
    std::string raw = "From: a@example.jp\r\nSubject: " + subject +
                      "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
                      "--b\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" +
                      text + "\r\n";
    for (const auto& [name, content] : parts)
        raw +=
            "--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
            "attachment; filename=" +
            name + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + base64Encode(content) + "\r\n";
    return raw + "--b--\r\n";
}

}  // namespace tsubame::testing
