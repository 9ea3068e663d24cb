#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// Decodes base64 as mailers really write it: characters outside the alphabet (line ends,
// blanks, stray marks) are skipped, a group cut short by "=" or by the end of the text
// still gives its whole bytes (two characters one byte, three characters two), and decoding
// goes on after padding, so that blocks written one after the other all come out.
std::string decodeBase64Leniently(std::string_view encoded);

}  // namespace tsubame
