#include "core/cp932.h"

#include <iconv.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <stdexcept>

namespace tsubame {
namespace {

// One iconv descriptor per direction and thread (a descriptor keeps state between calls, and
// the mail check converts on its own thread); closed when the thread ends.
class IconvHandle {
  public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~IconvHandle() { iconv_close(cd_); }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    iconv_t get() const {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        return cd_;
    }

  private:
    iconv_t cd_;
};

constexpr bool isUtf8Continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

constexpr bool isCp932TrailByte(unsigned char c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

// Bytes of input that make up the one character iconv could not convert. Only bytes that
// really belong to it are skipped, so a broken sequence never swallows the line break or
// the letter behind it.
std::size_t badCharacterLength(const char* p, std::size_t left, bool inputIsUtf8) {
    auto c = static_cast<unsigned char>(p[0]);
    if (inputIsUtf8) {
        std::size_t expected = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        std::size_t n = 1;
        while (n < expected && n < left && isUtf8Continuation(static_cast<unsigned char>(p[n])))
            ++n;
        return n;
    }
    if (isCp932LeadByte(c) && left >= 2 && isCp932TrailByte(static_cast<unsigned char>(p[1])))
        return 2;
    return 1;
}

std::string convert(const IconvHandle& handle, std::string_view in, std::string_view replacement,
                    bool inputIsUtf8) {
    std::string out;
    out.reserve(in.size() + in.size() / 2 + 4);
    iconv_t cd = handle.get();
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char buffer[4096];
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        std::size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, dst - buffer);
        if (rc != static_cast<std::size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: skip one character of input and put the replacement in its place.
        std::size_t skip = badCharacterLength(src, srcLeft, inputIsUtf8);
        src += skip;
        srcLeft -= skip;
        out.append(replacement);
    }
    return out;
}

constexpr std::string_view kGetaMark = "\x81\xAC";  // U+3013 GETA MARK in code page 932

// The code page 932 bytes of each character of the Basic Multilingual Plane, asked of iconv the
// first time the character comes: 0 not asked yet, 1 none, 0x1XX the byte XX, else the pair.
// A text uses few distinct characters, and iconv's own way goes through two conversions per
// character. Relaxed atomics: two threads asking at once store the same answer.
class BmpToCp932 {
  public:
    std::uint16_t bytesOf(char32_t codePoint, const IconvHandle& handle) {
        std::atomic<std::uint16_t>& entry = entries_[codePoint];
        std::uint16_t bytes = entry.load(std::memory_order_relaxed);
        if (bytes == 0) {
            bytes = ask(codePoint, handle);
            entry.store(bytes, std::memory_order_relaxed);
        }
        return bytes;
    }

  private:
    static std::uint16_t ask(char32_t codePoint, const IconvHandle& handle) {
        char utf8[3];
        std::size_t length = 0;
        if (codePoint < 0x800) {
            utf8[length++] = static_cast<char>(0xC0 | (codePoint >> 6));
        } else {
            utf8[length++] = static_cast<char>(0xE0 | (codePoint >> 12));
            utf8[length++] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        }
        utf8[length++] = static_cast<char>(0x80 | (codePoint & 0x3F));
        const std::string out = convert(handle, std::string_view(utf8, length), {}, true);
        if (out.size() == 1)
            return static_cast<std::uint16_t>(0x100 | static_cast<unsigned char>(out[0]));
        if (out.size() == 2)
            return static_cast<std::uint16_t>(static_cast<unsigned char>(out[0]) << 8 |
                                              static_cast<unsigned char>(out[1]));
        return 1;
    }

    std::array<std::atomic<std::uint16_t>, 0x10000> entries_{};
};

BmpToCp932 bmpToCp932;

// The code point of the well-formed two- or three-byte sequence at text[i] (not a surrogate),
// with its length; length 0 for anything else, which iconv then judges.
char32_t bmpCodePointAt(const unsigned char* text, std::size_t left, std::size_t& length) {
    length = 0;
    const unsigned char c = text[0];
    if (c >= 0xC2 && c <= 0xDF && left >= 2 && isUtf8Continuation(text[1])) {
        length = 2;
        return static_cast<char32_t>((c & 0x1F) << 6 | (text[1] & 0x3F));
    }
    if (c >= 0xE0 && c <= 0xEF && left >= 3 && isUtf8Continuation(text[1]) &&
        isUtf8Continuation(text[2])) {
        const auto codePoint =
            static_cast<char32_t>((c & 0x0F) << 12 | (text[1] & 0x3F) << 6 | (text[2] & 0x3F));
        if (codePoint >= 0x800 && (codePoint < 0xD800 || codePoint > 0xDFFF)) length = 3;
        return codePoint;
    }
    return 0;
}

}  // namespace

std::string utf8ToCp932(std::string_view utf8) {
    thread_local const IconvHandle handle("CP932", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    const auto* text = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t size = utf8.size();
    for (std::size_t i = 0; i < size;) {
        if (text[i] < 0x80) {  // ASCII stays as it is
            std::size_t end = i + 1;
            while (end < size && text[end] < 0x80) ++end;
            out.append(utf8.substr(i, end - i));
            i = end;
            continue;
        }
        std::size_t length = 0;
        const char32_t codePoint = bmpCodePointAt(text + i, size - i, length);
        if (length == 0) {
            // Broken sequences and characters beyond the plane go to iconv up to the next
            // ASCII byte, where a sequence always ends.
            std::size_t end = i + 1;
            while (end < size && text[end] >= 0x80) ++end;
            out += convert(handle, utf8.substr(i, end - i), kGetaMark, true);
            i = end;
            continue;
        }
        const std::uint16_t bytes = bmpToCp932.bytesOf(codePoint, handle);
        if (bytes == 1) {
            out.append(kGetaMark);
        } else if (bytes < 0x200) {
            out.push_back(static_cast<char>(bytes & 0xFF));
        } else {
            out.push_back(static_cast<char>(bytes >> 8));
            out.push_back(static_cast<char>(bytes & 0xFF));
        }
        i += length;
    }
    return out;
}

std::string cp932ToUtf8(std::string_view cp932) {
    thread_local const IconvHandle handle("UTF-8", "CP932");
    return convert(handle, cp932, "\xEF\xBF\xBD", false);
}

std::size_t cp932SafeCut(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text.size();
    std::size_t i = 0;
    while (i < limit) {
        std::size_t len = isCp932LeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        if (i + len > limit) break;
        i += len;
    }
    return i;
}

std::string_view cutAtNul(std::string_view text) {
    std::size_t pos = text.find('\0');
    return pos == std::string_view::npos ? text : text.substr(0, pos);
}

std::string_view trimBlanks(std::string_view text) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) return {};
    std::size_t end = text.find_last_not_of(' ');
    return text.substr(begin, end - begin + 1);
}

std::string_view trimTrailingBlanks(std::string_view text) {
    std::size_t end = text.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view{} : text.substr(0, end + 1);
}

bool isValidUtf8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    for (std::size_t i = 0; i < size;) {
        const unsigned char c = bytes[i];
        if (c >= 0x01 && c < 0x80) {
            ++i;
            continue;
        }
        // The second byte's range excludes overlong forms, surrogates and values past U+10FFFF.
        unsigned char low = 0x80, high = 0xBF;
        std::size_t length = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return false;  // NUL, a continuation byte, or a lead byte no character has
        }
        if (size - i < length || bytes[i + 1] < low || bytes[i + 1] > high) return false;
        for (std::size_t k = 2; k < length; ++k)
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

}  // namespace tsubame
