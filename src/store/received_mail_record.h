#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tsubame {

// One received mail as it lies in the store: 32,284 bytes, code page 932 text fields.
struct ReceivedMailRecord {
    static constexpr std::size_t kSize = 32284;
    static constexpr std::size_t kSubjectOffset = 0, kSubjectWidth = 100;
    static constexpr std::size_t kDateOffset = 100, kDateWidth = 90;
    static constexpr std::size_t kFromOffset = 190, kFromWidth = 90;
    static constexpr std::size_t kBodyOffset = 280, kBodyWidth = 32000;
    static constexpr std::size_t kLineEndOffset = 32280;
    static constexpr std::size_t kInUseOffset = 32282;

    std::array<char, kSize> bytes{};

    ReceivedMailRecord();

    // Fills every field the way an append does: texts stripped of outer blanks and fitted to
    // their widths, CR LF, in use = 1. Texts are code page 932.
    void fill(std::string_view subject, std::string_view date, std::string_view from,
              std::string_view body);

    std::span<char> subjectField() { return {bytes.data() + kSubjectOffset, kSubjectWidth}; }
    std::span<const char> subjectField() const {
        return {bytes.data() + kSubjectOffset, kSubjectWidth};
    }
    std::span<const char> dateField() const { return {bytes.data() + kDateOffset, kDateWidth}; }
    std::span<const char> fromField() const { return {bytes.data() + kFromOffset, kFromWidth}; }
    std::span<const char> bodyField() const { return {bytes.data() + kBodyOffset, kBodyWidth}; }

    // Box forms: cut at NUL, blanks removed at both ends (code page 932).
    std::string_view subject() const;
    std::string_view date() const;
    std::string_view from() const;
    std::string_view body() const;

    std::int16_t inUse() const;
    void setInUse(std::int16_t value);
};

// Reads the in-use flag of a record held in raw bytes.
std::int16_t recordInUse(std::span<const char> record, std::size_t offset);

}  // namespace tsubame
