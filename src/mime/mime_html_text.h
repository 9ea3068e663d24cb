#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// The readable text of an HTML body in code page 932, read by libxml2's HTML parser: script,
// style and head contents dropped, entities decoded, runs of blanks collapsed, line breaks at
// <br> and at block elements (an empty line between paragraphs), a line per table row with
// " | " between its cells, "・" before each list item, a link's address after its text.
// Line ends are LF. Takes time linear in the input, whatever the input.
std::string htmlToText(std::string_view cp932Html);

}  // namespace tsubame
