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

std::string decodeBase64Leniently(std::string_view encoded) {
    std::string out;
    out.reserve(encoded.size() / 4 * 3 + 2);
    std::uint32_t bits = 0;
    int count = 0;  // characters of the current group of four
    // Two characters carry 12 bits, one whole byte; three carry 18 bits, two whole bytes.
    auto flushPartialGroup = [&] {
        if (count == 2) out.push_back(static_cast<char>((bits >> 4) & 0xFF));
        if (count == 3) {
            out.push_back(static_cast<char>((bits >> 10) & 0xFF));
            out.push_back(static_cast<char>((bits >> 2) & 0xFF));
        }
        bits = 0;
        count = 0;
    };
    for (char c : encoded) {
        if (c == '=') {
            flushPartialGroup();
            continue;
        }
        const std::uint8_t value = kValues[static_cast<unsigned char>(c)];
        if (value == kNotInAlphabet) continue;
        bits = (bits << 6) | value;
        if (++count == 4) {
            out.push_back(static_cast<char>((bits >> 16) & 0xFF));
            out.push_back(static_cast<char>((bits >> 8) & 0xFF));
            out.push_back(static_cast<char>(bits & 0xFF));
            bits = 0;
            count = 0;
        }
    }
    flushPartialGroup();
    return out;
}

}  // namespace tsubame
