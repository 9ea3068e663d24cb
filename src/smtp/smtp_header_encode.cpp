#include "smtp/smtp_header_encode.h"

#include <vector>

#include "core/cp932.h"
#include "mime/iso2022jp.h"
#include "mime/mime_charset.h"
#include "smtp/smtp_text.h"

namespace tsubame {
namespace {

constexpr std::string_view kIsoPrefix = "=?ISO-2022-JP?B?";
constexpr std::string_view kUtf8Prefix = "=?UTF-8?B?";
constexpr std::string_view kSuffix = "?=";
// A plain ASCII header line stays well below the 998-byte limit of a line.
constexpr std::size_t kMaxPlainLength = 900;

// Largest number of raw bytes whose base64 fits into the room an encoded word leaves.
constexpr std::size_t rawBytesFor(std::string_view prefix) {
    return (kMaxEncodedWordLength - prefix.size() - kSuffix.size()) / 4 * 3;
}

bool isPlainAscii(std::string_view text) {
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return text.find("=?") == std::string_view::npos && text.size() <= kMaxPlainLength;
}

std::string word(std::string_view prefix, std::string_view bytes) {
    return std::string(prefix) + encodeBase64(bytes) + std::string(kSuffix);
}

std::string join(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        if (!out.empty()) out += "\r\n ";
        out += w;
    }
    return out;
}

std::vector<std::string> iso2022jpWords(std::string_view cp932) {
    std::vector<std::string> words;
    const std::size_t room = rawBytesFor(kIsoPrefix);
    std::size_t start = 0;
    while (start < cp932.size()) {
        // Grow the run one character at a time while its ISO-2022-JP form still fits.
        std::size_t end = start;
        std::string encoded;
        while (end < cp932.size()) {
            std::size_t next =
                end + (isCp932LeadByte(static_cast<unsigned char>(cp932[end])) ? 2 : 1);
            std::string candidate = cp932ToIso2022jp(cp932.substr(start, next - start));
            if (candidate.size() > room && end > start) break;
            encoded = std::move(candidate);
            end = next;
        }
        words.push_back(word(kIsoPrefix, encoded));
        start = end;
    }
    return words;
}

std::vector<std::string> utf8Words(std::string_view utf8) {
    std::vector<std::string> words;
    const std::size_t room = rawBytesFor(kUtf8Prefix);
    std::size_t start = 0;
    while (start < utf8.size()) {
        std::size_t end = std::min(utf8.size(), start + room);
        while (end > start + 1 && end < utf8.size() &&
               (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80)
            --end;  // never split a character between two words
        words.push_back(word(kUtf8Prefix, utf8.substr(start, end - start)));
        start = end;
    }
    return words;
}

}  // namespace

std::string encodeBase64(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63],
                kAlphabet[v & 63]};
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], '=', '='};
    } else if (i + 2 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += {kAlphabet[v >> 18], kAlphabet[(v >> 12) & 63], kAlphabet[(v >> 6) & 63], '='};
    }
    return out;
}

std::string encodeHeaderValue(std::string_view cp932Text) {
    std::string text;
    appendCp932OneLine(text, sanitizeCp932(cp932Text));
    if (isPlainAscii(text)) return text;
    if (fitsIso2022jp(text)) return join(iso2022jpWords(text));
    return join(utf8Words(cp932ToUtf8(text)));
}

std::string encodeHeaderValueUtf8(std::string_view utf8Text) {
    const std::string text = utf8OneLine(validUtf8(utf8Text));
    if (std::optional<std::string> cp932 = exactCp932(text)) return encodeHeaderValue(*cp932);
    return join(utf8Words(text));
}

}  // namespace tsubame
