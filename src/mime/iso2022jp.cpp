#include "mime/iso2022jp.h"

#include <bitset>

#include "core/cp932.h"

namespace tsubame {
namespace {

constexpr char kEsc = 0x1B;
constexpr char kShiftOut = 0x0E;  // some mailers switch to half-width katakana with SO/SI
constexpr char kShiftIn = 0x0F;
constexpr std::string_view kGeta = "\x81\xAC";

enum class Mode { Ascii, Katakana, Jis0208, Jis0212 };

bool isCp932TrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }
bool isHalfWidthKatakana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }
bool isJisByte(unsigned char c) { return c >= 0x21 && c <= 0x7E; }

// Reads the escape sequence at text[i] (text[i] == ESC); returns its length, 0 if unknown.
std::size_t readEscape(std::string_view text, std::size_t i, Mode& mode) {
    std::string_view rest = text.substr(i + 1);
    auto starts = [&](std::string_view s) { return rest.substr(0, s.size()) == s; };
    if (starts("(B") || starts("(J") || starts("(H")) {
        mode = Mode::Ascii;
        return 3;
    }
    if (starts("(I")) {
        mode = Mode::Katakana;
        return 3;
    }
    if (starts("$@") || starts("$B")) {
        mode = Mode::Jis0208;
        return 3;
    }
    if (starts("$(B") || starts("$(@") || starts("$(Q") || starts("$(O")) {
        mode = Mode::Jis0208;
        return 4;
    }
    if (starts("&@")) return 3;  // announces JIS X 0208-1990; the ESC $ B follows
    if (starts("$(D")) {
        mode = Mode::Jis0212;
        return 4;
    }
    return 0;
}

}  // namespace

bool hasEscapeSequence(std::string_view text) { return text.find(kEsc) != std::string_view::npos; }

void jisToSjis(unsigned char j1, unsigned char j2, unsigned char& s1, unsigned char& s2) {
    s1 = static_cast<unsigned char>(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0));
    if (j1 & 1)
        s2 = static_cast<unsigned char>(j2 + (j2 >= 0x60 ? 0x20 : 0x1F));
    else
        s2 = static_cast<unsigned char>(j2 + 0x7E);
}

void sjisToJis(unsigned char s1, unsigned char s2, unsigned char& j1, unsigned char& j2) {
    unsigned row = s1 >= 0xE0 ? s1 - 0x40u : s1;  // 0x81..0xBC
    j1 = static_cast<unsigned char>((row - 0x81) * 2 + 0x21);
    if (s2 >= 0x9F) {
        j1 = static_cast<unsigned char>(j1 + 1);
        j2 = static_cast<unsigned char>(s2 - 0x7E);
    } else {
        j2 = static_cast<unsigned char>(s2 - (s2 >= 0x80 ? 0x20 : 0x1F));
    }
}

void appendJisPairAsCp932(std::string& out, unsigned char j1, unsigned char j2) {
    // Which of the 94 x 94 cells code page 932 defines, asked once of the converter.
    static const std::bitset<94 * 94> defined = [] {
        std::bitset<94 * 94> cells;
        for (unsigned char r = 0x21; r <= 0x7E; ++r) {
            for (unsigned char c = 0x21; c <= 0x7E; ++c) {
                unsigned char s1 = 0;
                unsigned char s2 = 0;
                jisToSjis(r, c, s1, s2);
                const char pair[] = {static_cast<char>(s1), static_cast<char>(s2)};
                if (cp932ToUtf8(std::string_view(pair, 2)) != "\xEF\xBF\xBD")
                    cells.set((r - 0x21) * 94 + (c - 0x21));
            }
        }
        return cells;
    }();
    if (!isJisByte(j1) || !isJisByte(j2) || !defined.test((j1 - 0x21) * 94 + (j2 - 0x21))) {
        out.append(kGeta);
        return;
    }
    unsigned char s1 = 0;
    unsigned char s2 = 0;
    jisToSjis(j1, j2, s1, s2);
    out.push_back(static_cast<char>(s1));
    out.push_back(static_cast<char>(s2));
}

std::string iso2022jpToCp932(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    Mode mode = Mode::Ascii;
    Mode beforeShiftOut = Mode::Ascii;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == static_cast<unsigned char>(kEsc)) {
            std::size_t length = readEscape(text, i, mode);
            if (length > 0) {
                i += length;
                continue;
            }
            ++i;  // an unknown escape: drop the ESC, keep what follows as text
            continue;
        }
        if (c == static_cast<unsigned char>(kShiftOut)) {
            beforeShiftOut = mode;
            mode = Mode::Katakana;
            ++i;
            continue;
        }
        if (c == static_cast<unsigned char>(kShiftIn)) {
            mode = beforeShiftOut == Mode::Katakana ? Mode::Ascii : beforeShiftOut;
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            // A line always starts in ASCII, even when the writer forgot to switch back.
            mode = Mode::Ascii;
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        if (c >= 0x80) {
            // Not ISO-2022-JP at all; keep bytes that still read as code page 932.
            if (isHalfWidthKatakana(c)) {
                out.push_back(static_cast<char>(c));
                ++i;
            } else if (isCp932LeadByte(c) && i + 1 < text.size() &&
                       isCp932TrailByte(static_cast<unsigned char>(text[i + 1]))) {
                out.append(text.substr(i, 2));
                i += 2;
            } else {
                out.push_back('?');
                ++i;
            }
            continue;
        }
        switch (mode) {
            case Mode::Ascii:
                out.push_back(static_cast<char>(c));
                ++i;
                break;
            case Mode::Katakana:
                if (c >= 0x21 && c <= 0x5F)
                    out.push_back(static_cast<char>(c + 0x80));
                else
                    out.push_back(static_cast<char>(c));
                ++i;
                break;
            case Mode::Jis0208:
            case Mode::Jis0212: {
                if (!isJisByte(c)) {  // blanks and controls inside a kanji run
                    out.push_back(static_cast<char>(c));
                    ++i;
                    break;
                }
                if (i + 1 >= text.size() || !isJisByte(static_cast<unsigned char>(text[i + 1]))) {
                    out.append(kGeta);
                    ++i;
                    break;
                }
                const auto c2 = static_cast<unsigned char>(text[i + 1]);
                if (mode == Mode::Jis0212) {
                    out.append(kGeta);  // JIS X 0212 has no place in code page 932
                } else {
                    appendJisPairAsCp932(out, c, c2);
                }
                i += 2;
                break;
            }
        }
    }
    return out;
}

namespace {

// True when the Shift_JIS pair is a JIS X 0208 character: rows 1 to 8 and 16 to 84.
bool isJis0208Pair(unsigned char s1, unsigned char s2) {
    if (!isCp932TrailByte(s2)) return false;
    if (s1 < 0x81 || s1 > 0xEA || (s1 > 0x9F && s1 < 0xE0)) return false;
    unsigned char j1 = 0;
    unsigned char j2 = 0;
    sjisToJis(s1, s2, j1, j2);
    if (j1 <= 0x28) return true;
    if (j1 < 0x30 || j1 > 0x74) return false;
    return j1 < 0x74 || j2 <= 0x26;
}

}  // namespace

bool fitsIso2022jp(std::string_view cp932) {
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const auto c = static_cast<unsigned char>(cp932[i]);
        if (c < 0x80) {
            if (c == 0x1B || c == 0x0E || c == 0x0F) return false;
            continue;
        }
        if (!isCp932LeadByte(c) || i + 1 >= cp932.size()) return false;
        if (!isJis0208Pair(c, static_cast<unsigned char>(cp932[i + 1]))) return false;
        ++i;
    }
    return true;
}

std::string cp932ToIso2022jp(std::string_view cp932) {
    std::string out;
    out.reserve(cp932.size() + cp932.size() / 4 + 8);
    bool inKanji = false;
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const auto c = static_cast<unsigned char>(cp932[i]);
        if (c >= 0x80 && isCp932LeadByte(c) && i + 1 < cp932.size()) {
            if (!inKanji) out.append("\x1B$B");
            inKanji = true;
            unsigned char j1 = 0;
            unsigned char j2 = 0;
            sjisToJis(c, static_cast<unsigned char>(cp932[i + 1]), j1, j2);
            out.push_back(static_cast<char>(j1));
            out.push_back(static_cast<char>(j2));
            ++i;
            continue;
        }
        if (inKanji) out.append("\x1B(B");
        inKanji = false;
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    if (inKanji) out.append("\x1B(B");
    return out;
}

}  // namespace tsubame
