#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// Conversion between UTF-8 and code page 932 (Windows Shift_JIS), the encoding of every
// stored file. Characters that the target cannot hold become a visible replacement instead
// of an error: U+3013 GETA MARK when encoding, U+FFFD when decoding.
std::string utf8ToCp932(std::string_view utf8);
std::string cp932ToUtf8(std::string_view cp932);

// True when the byte starts a double-byte character of code page 932.
constexpr bool isCp932LeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Largest length <= limit that does not end inside a double-byte character of text.
std::size_t cp932SafeCut(std::string_view text, std::size_t limit);

// Well-formed UTF-8 without NUL: no overlong form, no surrogate, nothing above U+10FFFF.
bool isValidUtf8(std::string_view text);

// The text up to, not including, its first NUL character (the whole text without one).
std::string_view cutAtNul(std::string_view text);

// Removes blanks (0x20 only) at both ends.
std::string_view trimBlanks(std::string_view text);
std::string_view trimTrailingBlanks(std::string_view text);

}  // namespace tsubame
