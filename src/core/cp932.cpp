#include "core/cp932.h"

#include <iconv.h>

#include <cerrno>
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

}  // namespace

std::string utf8ToCp932(std::string_view utf8) {
    thread_local const IconvHandle handle("CP932", "UTF-8");
    return convert(handle, utf8, "\x81\xAC", true);  // U+3013 GETA MARK in code page 932
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

}  // namespace tsubame
