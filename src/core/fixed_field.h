#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace tsubame {

// A text field of fixed width inside a record: code page 932 bytes, padded with blanks and
// cut at the width. A double-byte character that the field end would split is dropped whole.
void writeFixedField(std::span<char> field, std::string_view cp932);

// The field's bytes cut at the first NUL (trailing blanks kept): the form a list cell shows.
std::string_view fixedFieldCell(std::span<const char> field);

// The field cut at the first NUL with blanks removed at both ends: the form a text box shows.
std::string_view fixedFieldBox(std::span<const char> field);

}  // namespace tsubame
