#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/cp932.h"

namespace tsubame {

// Converts text in a MIME charset to code page 932. Japanese labels are handled without a
// round trip through Unicode where possible: ISO-2022-JP and EUC-JP map arithmetically,
// every Shift_JIS label means code page 932. A text labelled ISO-2022-JP without escape
// sequences that is valid UTF-8 is read as UTF-8. A text labelled UTF-8 with a few broken
// sequences stays UTF-8, each broken sequence becoming the geta mark; only one that is mostly
// not UTF-8 is guessed. Unknown or missing labels, and US-ASCII texts with 8-bit bytes, are
// guessed as by guessToCp932().
std::string charsetToCp932(std::string_view bytes, std::string_view charset);

// The start of charsetToCp932(bytes, charset), converting only as much as it takes: pieces
// from the start of bytes, the first firstPiece bytes long and each twice as long as the last,
// until enough(start converted) says so. The result is the whole conversion, or a start of it
// that enough accepted.
std::string charsetToCp932Start(std::string_view bytes, std::string_view charset,
                                std::size_t firstPiece,
                                const std::function<bool(const std::string&)>& enough);

// Converts unlabelled text (raw 8-bit header text, text without a charset): ISO-2022-JP
// when it holds escapes, then UTF-8 or EUC-JP when the bytes are valid in it, UTF-8 with a
// few broken sequences, else Shift_JIS (code page 932).
std::string guessToCp932(std::string_view bytes);

// Converts text in a MIME charset to UTF-8 (used for file names on disk), keeping the
// characters that code page 932 lacks; the same choices as charsetToCp932 otherwise.
std::string charsetToUtf8(std::string_view bytes, std::string_view charset);

// True when text[i] and text[i + 1] form one double-byte character of code page 932.
bool isCp932Pair(std::string_view text, std::size_t i);
bool isAscii(std::string_view text);

// Keeps the characters of a code page 932 text that code page 932 defines, putting the geta
// mark for stray bytes and undefined pairs.
std::string sanitizeCp932(std::string_view text);

// Appends a code page 932 text as one header line: control characters (line breaks among
// them) become blanks, double-byte characters are kept whole.
void appendCp932OneLine(std::string& out, std::string_view cp932);
// The same for a UTF-8 text.
void appendUtf8OneLine(std::string& out, std::string_view utf8);

// The geta mark stands for every character that code page 932 lacks. losesCharacters is true
// when cp932 holds more of them than utf8, the same text decoded to UTF-8, holds U+3013.
bool hasGetaMark(std::string_view cp932);
bool losesCharacters(std::string_view cp932, std::string_view utf8);

// EUC-JP (JIS X 0208 pairs, SS2 half-width katakana) to code page 932; JIS X 0212
// characters and pairs that code page 932 does not define become the geta mark.
std::string eucjpToCp932(std::string_view text);

}  // namespace tsubame
