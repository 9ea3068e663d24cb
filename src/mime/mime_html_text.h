#pragma once

#include <string>
#include <string_view>

namespace tsubame {

// The readable text of an HTML body in code page 932: tags removed, script, style and head
// contents dropped, entities decoded, runs of blanks collapsed, line breaks at <br> and at
// block elements (a blank line between paragraphs). Line ends are LF.
std::string htmlToText(std::string_view cp932Html);

}  // namespace tsubame
