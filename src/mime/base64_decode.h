#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tsubame {

// Decodes base64 as mailers really write it: characters outside the alphabet (line ends,
// blanks, stray marks) are skipped, a group cut short by "=" or by the end of the text
// still gives its whole bytes (two characters one byte, three characters two), and decoding
// goes on after padding, so that blocks written one after the other all come out.
std::string decodeBase64Leniently(std::string_view encoded);

// The same decoding a piece at a time, for content too large to hold at once: the bytes come
// out the same however the text is cut into pieces.
class LenientBase64Decoder {
  public:
    // Appends the bytes of every group that piece completes to out.
    void decode(std::string_view piece, std::string& out);
    // The end of the text: a group cut short there still gives its whole bytes.
    void finish(std::string& out);

  private:
    void flushPartialGroup(std::string& out);
    std::uint32_t bits_ = 0;
    int count_ = 0;  // characters of the current group of four
};

}  // namespace tsubame
