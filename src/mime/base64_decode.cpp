#include "mime/base64_decode.h"

#include <array>
#include <cstdint>

namespace tsubame {
namespace {

constexpr std::uint8_t kNotInAlphabet = 0xFF;

constexpr std::array<std::uint8_t, 256> makeValues() {
    std::array<std::uint8_t, 256> values{};
    values.fill(kNotInAlphabet);
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        values[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    return values;
}

constexpr std::array<std::uint8_t, 256> kValues = makeValues();

}  // namespace

void LenientBase64Decoder::flushPartialGroup(std::string& out) {
    // Two characters carry 12 bits, one whole byte; three carry 18 bits, two whole bytes.
    if (count_ == 2) out.push_back(static_cast<char>((bits_ >> 4) & 0xFF));
    if (count_ == 3) {
        out.push_back(static_cast<char>((bits_ >> 10) & 0xFF));
        out.push_back(static_cast<char>((bits_ >> 2) & 0xFF));
    }
    bits_ = 0;
    count_ = 0;
}

void LenientBase64Decoder::decode(std::string_view piece, std::string& out) {
    out.reserve(out.size() + piece.size() / 4 * 3 + 2);
    for (char c : piece) {
        if (c == '=') {
            flushPartialGroup(out);
            continue;
        }
        const std::uint8_t value = kValues[static_cast<unsigned char>(c)];
        if (value == kNotInAlphabet) continue;
        bits_ = (bits_ << 6) | value;
        if (++count_ == 4) {
            out.push_back(static_cast<char>((bits_ >> 16) & 0xFF));
            out.push_back(static_cast<char>((bits_ >> 8) & 0xFF));
            out.push_back(static_cast<char>(bits_ & 0xFF));
            bits_ = 0;
            count_ = 0;
        }
    }
}

void LenientBase64Decoder::finish(std::string& out) { flushPartialGroup(out); }

std::string decodeBase64Leniently(std::string_view encoded) {
    std::string out;
    LenientBase64Decoder decoder;
    decoder.decode(encoded, out);
    decoder.finish(out);
    return out;
}

}  // namespace tsubame
