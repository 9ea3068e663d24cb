#include "mime/mime_charset.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "core/cp932.h"
#include "mime/iso2022jp.h"
#include "mime/mime_gmime.h"

namespace tsubame {
namespace {

constexpr std::string_view kGeta = "\x81\xAC";

enum class Family { Iso2022jp, ShiftJis, EucJp, Utf8, Ascii, Other };

std::string normalizedLabel(std::string_view charset) {
    std::string label;
    for (char c : charset) {
        if (c == '"' || c == '\'' || std::isspace(static_cast<unsigned char>(c))) continue;
        label.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    }
    return label;
}

Family familyOf(const std::string& label) {
    static constexpr std::array<std::string_view, 5> iso = {
        "iso-2022-jp", "iso-2022-jp-1", "iso-2022-jp-2", "iso-2022-jp-3", "csiso2022jp"};
    static constexpr std::array<std::string_view, 12> sjis = {
        "shift_jis", "shift-jis",  "sjis",  "x-sjis",       "windows-31j", "cp932",
        "ms_kanji",  "csshiftjis", "ms932", "csWindows31j", "x-ms-cp932",  "windows-932"};
    static constexpr std::array<std::string_view, 6> euc = {
        "euc-jp", "x-euc-jp", "eucjp", "euc_jp", "cseucpkdfmtjapanese", "euc-jp-ms"};
    auto in = [&](const auto& list) {
        return std::any_of(list.begin(), list.end(), [&](std::string_view name) {
            return std::equal(
                name.begin(), name.end(), label.begin(), label.end(),
                [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
        });
    };
    if (label.empty()) return Family::Other;
    if (in(iso)) return Family::Iso2022jp;
    if (in(sjis)) return Family::ShiftJis;
    if (in(euc)) return Family::EucJp;
    if (label == "utf-8" || label == "utf8") return Family::Utf8;
    if (label == "us-ascii" || label == "ascii" || label == "ansi_x3.4-1968") return Family::Ascii;
    return Family::Other;
}

bool isCp932TrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

bool isValidEucjp(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) continue;
        auto high = [&](std::size_t k) {
            return k < text.size() && static_cast<unsigned char>(text[k]) >= 0xA1 &&
                   static_cast<unsigned char>(text[k]) <= 0xFE;
        };
        if (c == 0x8E) {
            if (!high(i + 1)) return false;
            i += 1;
        } else if (c == 0x8F) {
            if (!high(i + 1) || !high(i + 2)) return false;
            i += 2;
        } else if (c >= 0xA1 && c <= 0xFE) {
            if (!high(i + 1)) return false;
            i += 1;
        } else {
            return false;
        }
    }
    return true;
}

// Shift_JIS kanji and kana lead bytes (0x81..0x9F, minus the EUC single shifts) never
// occur in EUC-JP, while EUC-JP text nearly always also reads as half-width katakana.
bool hasShiftJisOnlyBytes(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c >= 0x80 && c <= 0xA0 && c != 0x8E && c != 0x8F;
    });
}

// Counts the 8-bit bytes of text that form valid UTF-8 characters and those that do not.
struct Utf8Tally {
    std::size_t valid = 0;
    std::size_t invalid = 0;
};

Utf8Tally tallyUtf8(std::string_view text) {
    Utf8Tally tally;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        if (static_cast<unsigned char>(*p) < 0x80) {
            ++p;
            continue;
        }
        const gunichar c = g_utf8_get_char_validated(p, end - p);
        if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
            ++tally.invalid;
            ++p;
            continue;
        }
        const char* next = g_utf8_next_char(p);
        tally.valid += static_cast<std::size_t>(next - p);
        p = next;
    }
    return tally;
}

// A text labelled UTF-8 is read as UTF-8 when most of its 8-bit bytes are; an unlabelled
// one only when nearly all are, as Shift_JIS and EUC-JP text now and then hold byte runs
// that happen to be valid UTF-8.
bool isMostlyUtf8(std::string_view text) {
    const Utf8Tally tally = tallyUtf8(text);
    return tally.valid > tally.invalid;
}

bool isNearlyAllUtf8(std::string_view text) {
    const Utf8Tally tally = tallyUtf8(text);
    return tally.valid >= 9 * tally.invalid && tally.valid > 0;
}

std::string utf8ViaIconv(std::string_view bytes, const char* charset, bool* ok) {
    *ok = false;
    ensureGMimeInitialized();
    iconv_t cd = g_mime_iconv_open("UTF-8", charset);
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out;
    char* src = const_cast<char*>(bytes.data());
    std::size_t srcLeft = bytes.size();
    char buffer[4096];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        out.append("\xEF\xBF\xBD");  // a byte the charset does not know
        ++src;
        --srcLeft;
    }
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    g_mime_iconv_close(cd);
    *ok = true;
    return out;
}

}  // namespace

bool isCp932Pair(std::string_view text, std::size_t i) {
    return i + 1 < text.size() && isCp932LeadByte(static_cast<unsigned char>(text[i])) &&
           isCp932TrailByte(static_cast<unsigned char>(text[i + 1]));
}

void appendCp932OneLine(std::string& out, std::string_view cp932) {
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        const auto c = static_cast<unsigned char>(cp932[i]);
        if (isCp932Pair(cp932, i)) {
            out.append(cp932.substr(i, 2));
            ++i;
        } else {
            out.push_back(c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c));
        }
    }
}

void appendUtf8OneLine(std::string& out, std::string_view utf8) {
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        out.push_back(u < 0x20 || u == 0x7F ? ' ' : c);
    }
}

namespace {

std::size_t getaMarks(std::string_view cp932) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        if (!isCp932Pair(cp932, i)) continue;
        count += cp932.substr(i, 2) == kGeta ? 1 : 0;
        ++i;
    }
    return count;
}

}  // namespace

bool hasGetaMark(std::string_view cp932) {
    // Most texts have no such byte pair anywhere; only those are read character by character.
    return cp932.find(kGeta) != std::string_view::npos && getaMarks(cp932) > 0;
}

bool losesCharacters(std::string_view cp932, std::string_view utf8) {
    std::size_t inUtf8 = 0;
    for (std::size_t at = utf8.find("\xE3\x80\x93"); at != std::string_view::npos;
         at = utf8.find("\xE3\x80\x93", at + 3))
        ++inUtf8;
    return getaMarks(cp932) > inUtf8;
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

namespace {

// Which double-byte pairs code page 932 defines, asked once of the converter: one bit each.
class DefinedCp932Pairs {
  public:
    DefinedCp932Pairs() {
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isCp932LeadByte(static_cast<unsigned char>(lead))) continue;
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                const char pair[] = {static_cast<char>(lead), static_cast<char>(trail)};
                if (cp932ToUtf8(std::string_view(pair, 2)).find("\xEF\xBF\xBD") ==
                    std::string::npos)
                    bits_[lead * 256 + trail] = true;
            }
        }
    }
    bool contains(unsigned char lead, unsigned char trail) const {
        return bits_[lead * 256u + trail];
    }

  private:
    std::bitset<256 * 256> bits_;
};

}  // namespace

std::string sanitizeCp932(std::string_view text) {
    static const DefinedCp932Pairs defined;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::string out;
    std::size_t kept = 0;  // text before this is in out, or needs no change
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = bytes[i];
        if (c < 0x80) {
            // ASCII eight bytes at a time.
            ++i;
            for (std::uint64_t word = 0; i + 8 <= text.size(); i += 8) {
                std::memcpy(&word, bytes + i, 8);
                if (word & 0x8080808080808080ULL) break;
            }
            continue;
        }
        if (c >= 0xA1 && c <= 0xDF) {
            ++i;
            continue;
        }
        const bool pair = isCp932Pair(text, i);
        // A pair code page 932 leaves undefined reads as one unknown character.
        if (pair && defined.contains(c, bytes[i + 1])) {
            i += 2;
            continue;
        }
        if (out.empty()) out.reserve(text.size() + 16);
        out.append(text.substr(kept, i - kept));
        out.append(kGeta);
        // A stray 8-bit byte (Latin-1 "ü" in "Lütkebohle") before a letter: the letter is
        // text of its own, not the second half of a character.
        const bool letterAfter =
            pair && ((bytes[i + 1] | 0x20) >= 'a' && (bytes[i + 1] | 0x20) <= 'z');
        i += pair && !letterAfter ? 2 : 1;
        kept = i;
    }
    if (kept == 0) return std::string(text);
    out.append(text.substr(kept));
    return out;
}

std::string eucjpToCp932(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        auto at = [&](std::size_t k) {
            return k < text.size() ? static_cast<unsigned char>(text[k]) : 0;
        };
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c == 0x8E && at(i + 1) >= 0xA1 && at(i + 1) <= 0xDF) {
            out.push_back(static_cast<char>(at(i + 1)));
            ++i;
        } else if (c == 0x8F && at(i + 1) >= 0xA1 && at(i + 2) >= 0xA1) {
            out.append(kGeta);
            i += 2;
        } else if (c >= 0xA1 && c <= 0xFE && at(i + 1) >= 0xA1 && at(i + 1) <= 0xFE) {
            appendJisPairAsCp932(out, c & 0x7F, at(i + 1) & 0x7F);
            ++i;
        } else {
            out.push_back('?');
        }
    }
    return out;
}

namespace {

// How a labelled text becomes code page 932, as code page 932 defines it. The choice looks at
// the whole text; the conversion then goes from left to right, so a piece from the start
// converts into the start of the whole text's conversion (up to its last characters, which
// the cut may break).
using Conversion = std::function<std::string(std::string_view)>;

// Conversions that pass bytes through unchanged (8-bit bytes in ISO-2022-JP, JIS rows code page
// 932 leaves empty) are followed by sanitizeCp932; UTF-8 and ASCII come out clean.
std::string iso2022jpToDefinedCp932(std::string_view text) {
    return sanitizeCp932(iso2022jpToCp932(text));
}
std::string eucjpToDefinedCp932(std::string_view text) { return sanitizeCp932(eucjpToCp932(text)); }

Conversion conversionFor(std::string_view bytes, std::string_view charset) {
    const std::string label = normalizedLabel(charset);
    auto sure = [](std::string (*convert)(std::string_view)) { return Conversion(convert); };
    auto guessed = [&bytes] {
        if (hasEscapeSequence(bytes)) return Conversion(iso2022jpToDefinedCp932);
        if (isAscii(bytes))
            return Conversion([](std::string_view text) { return std::string(text); });
        if (isValidUtf8(bytes)) return Conversion(utf8ToCp932);
        if (isValidEucjp(bytes) && !hasShiftJisOnlyBytes(bytes))
            return Conversion(eucjpToDefinedCp932);
        // UTF-8 with a broken sequence or two: only those become the geta mark.
        if (isNearlyAllUtf8(bytes)) return Conversion(utf8ToCp932);
        return Conversion(sanitizeCp932);
    };
    switch (familyOf(label)) {
        case Family::Iso2022jp:
            if (!hasEscapeSequence(bytes) && !isAscii(bytes) && isValidUtf8(bytes))
                return sure(utf8ToCp932);
            return sure(iso2022jpToDefinedCp932);
        case Family::ShiftJis:
            return sure(sanitizeCp932);
        case Family::EucJp:
            return sure(eucjpToDefinedCp932);
        case Family::Utf8:
            // A broken sequence becomes the geta mark; the rest stays UTF-8.
            if (isMostlyUtf8(bytes)) return sure(utf8ToCp932);
            return guessed();
        case Family::Ascii:
            return guessed();
        case Family::Other:
            break;
    }
    if (label.empty() || isAscii(bytes)) return guessed();
    ensureGMimeInitialized();
    iconv_t cd = g_mime_iconv_open("UTF-8", label.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return guessed();
    g_mime_iconv_close(cd);
    return [label](std::string_view text) {
        bool ok = false;
        return utf8ToCp932(utf8ViaIconv(text, label.c_str(), &ok));
    };
}

}  // namespace

std::string guessToCp932(std::string_view bytes) { return conversionFor(bytes, "")(bytes); }

std::string charsetToCp932(std::string_view bytes, std::string_view charset) {
    return conversionFor(bytes, charset)(bytes);
}

std::string charsetToCp932Start(std::string_view bytes, std::string_view charset,
                                std::size_t firstPiece,
                                const std::function<bool(const std::string&)>& enough) {
    const Conversion convert = conversionFor(bytes, charset);
    // Characters the cut may break end a piece's conversion in at most this many bytes.
    constexpr std::size_t kBrokenTail = 64;
    for (std::size_t take = std::max<std::size_t>(firstPiece, 4096);; take *= 2) {
        if (take >= bytes.size()) return convert(bytes);
        std::string text = convert(bytes.substr(0, take));
        if (text.size() > kBrokenTail) {
            text.resize(text.size() - kBrokenTail);
            if (enough(text)) return text;
        }
    }
}

std::string charsetToUtf8(std::string_view bytes, std::string_view charset) {
    if (isAscii(bytes) && !hasEscapeSequence(bytes)) return std::string(bytes);
    const std::string label = normalizedLabel(charset);
    const Family family = familyOf(label);
    const bool guessed = family == Family::Ascii || (family == Family::Other && label.empty());
    const bool utf8 = (family == Family::Utf8 && isMostlyUtf8(bytes)) ||
                      ((guessed || family == Family::Iso2022jp) && !hasEscapeSequence(bytes) &&
                       isValidUtf8(bytes));
    if (utf8) {
        GCharPtr valid(g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size())));
        return valid.get();
    }
    if (family == Family::Other && !label.empty()) {
        bool ok = false;
        std::string text = utf8ViaIconv(bytes, label.c_str(), &ok);
        if (ok) return text;
    }
    return cp932ToUtf8(charsetToCp932(bytes, charset));
}

}  // namespace tsubame
