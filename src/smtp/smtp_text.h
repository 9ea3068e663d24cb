#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tsubame {

// The code page 932 form of a UTF-8 text, only when it converts both ways without loss (no
// character became a replacement). Nothing for text that code page 932 cannot hold.
std::optional<std::string> exactCp932(std::string_view utf8);

// The text itself when it is valid UTF-8; otherwise every invalid sequence replaced by
// U+FFFD, so that a label "UTF-8" is never a lie.
std::string validUtf8(std::string_view text);

// UTF-8 text on one line: CR, LF and other control characters become blanks.
std::string utf8OneLine(std::string_view utf8);

}  // namespace tsubame
