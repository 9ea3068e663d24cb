#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "core/status.h"

namespace tsubame {

// Windows-style profile files ("[Section]" and "Key=Value" lines, code page 932, CR LF).
// Section and key names are matched without regard to ASCII case. Texts are code page 932.
class ProfileFile {
  public:
    static constexpr std::size_t kMaxValue = 255;  // a 256-byte buffer holds 255 bytes and a NUL

    explicit ProfileFile(std::filesystem::path path, int createMode = 0644)
        : path_(std::move(path)), createMode_(createMode) {}

    // The value as stored, at most 255 bytes; fallback when the file or key is missing.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback = {}) const;
    // The value's leading decimal integer; fallback when the file or key is missing, 0 when the
    // value does not start with a number.
    int readInt(std::string_view section, std::string_view key, int fallback = 0) const;
    // Sets a key, keeping every other line and section; creates the section or key when
    // missing. The file is replaced atomically, so a failed write leaves it as it was.
    Status writeString(std::string_view section, std::string_view key,
                       std::string_view value) const;

    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    int createMode_;
};

// Parsing helpers, exposed for the fuzz target and the tests.
std::string profileLookup(std::string_view content, std::string_view section, std::string_view key,
                          bool* found);
std::string profileSet(std::string_view content, std::string_view section, std::string_view key,
                       std::string_view value);

}  // namespace tsubame
