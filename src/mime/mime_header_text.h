#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// Decodes a header value into code page 932: RFC 2047 encoded-words (adjacent words of one
// charset are joined before conversion, so a character split across two words comes out
// whole) and raw 8-bit text (guessed as ISO-2022-JP, UTF-8, Shift_JIS or EUC-JP). Folding
// is removed and control characters become blanks, so the result is one line.
std::string decodeHeaderText(std::string_view rawValue);
// The same decoding into UTF-8, keeping the characters that code page 932 lacks.
std::string decodeHeaderTextUtf8(std::string_view rawValue);

// Removes header folding (CR LF or LF before a blank or tab).
std::string unfoldHeader(std::string_view rawValue);

// Lenient base64: skips anything outside the alphabet, tolerates missing padding.
std::string decodeBase64(std::string_view text);

// The value of the first header field called name (case-insensitive) in a raw header
// block, still folded; empty when absent. Stops at the first empty line.
std::string findRawHeader(std::string_view rawHeader, std::string_view name);

}  // namespace tsubame
