#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// ISO-2022-JP as Japanese mailers really write it, converted straight to and from code page
// 932. Each JIS X 0208 pair maps arithmetically onto a Shift_JIS pair, so the Windows
// additions that mailers put into "ISO-2022-JP" text (NEC row 13 such as ① and ㈱, the
// NEC-selected IBM extensions in rows 89 to 92) survive, which the stock converters refuse.

// True when text holds an ESC byte, the mark of a real ISO-2022-JP text.
bool hasEscapeSequence(std::string_view text);

// Decodes ISO-2022-JP (ESC ( B, ESC ( J, ESC ( I half-width katakana, ESC $ @, ESC $ B,
// SO/SI katakana) into code page 932. Pairs that have no code page 932 character become
// the geta mark (see appendJisPairAsCp932); stray 8-bit bytes pass through when they form a code
// page 932 character.
std::string iso2022jpToCp932(std::string_view text);

// True when every character of the code page 932 text exists in plain ISO-2022-JP: ASCII
// without ESC/SO/SI, and JIS X 0208 (no half-width katakana, no NEC or IBM additions).
bool fitsIso2022jp(std::string_view cp932);

// Converts a code page 932 text that fitsIso2022jp() to ISO-2022-JP. Every line returns to
// ASCII before its CR or LF, and the text ends in ASCII.
std::string cp932ToIso2022jp(std::string_view cp932);

// Appends the code page 932 character of a JIS row/cell pair (both bytes 0x21..0x7E), or
// the geta mark where code page 932 defines none (rows 9 to 12, 14, 15, 85 to 88, 93, 94,
// and the unused cells of the other rows), so no undefined byte pair reaches a record.
void appendJisPairAsCp932(std::string& out, unsigned char j1, unsigned char j2);

// Shift_JIS pair <-> JIS X 0208 row/cell pair (both bytes 0x21..0x7E).
void jisToSjis(unsigned char j1, unsigned char j2, unsigned char& s1, unsigned char& s2);
void sjisToJis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2);

}  // namespace tsubame
