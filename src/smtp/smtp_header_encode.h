#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// Encoded-words for an outgoing header, each at most kMaxEncodedWordLength characters and
// folded between words with CR LF and a blank. A text that fits ISO-2022-JP goes as
// ISO-2022-JP B words, each a complete run that ends in ASCII; any other text as UTF-8 B
// words, split between characters. Printable ASCII without "=?" stays as it is.
// Line breaks and other control characters in text become blanks: a header value can
// never start a new header line.
inline constexpr std::size_t kMaxEncodedWordLength = 75;
std::string encodeHeaderValue(std::string_view cp932Text);
// The same for a UTF-8 text: what code page 932 holds is encoded as above, anything else
// (emoji, Hangul, accented Latin, simplified Chinese) whole as UTF-8 words.
std::string encodeHeaderValueUtf8(std::string_view utf8Text);

// Base64 without line breaks.
std::string encodeBase64(std::string_view bytes);

}  // namespace tsubame
