#pragma once

#include <cstddef>
#include <string_view>

namespace tsubame {

// Where the header of a raw mail ends, read the way common mail readers read it:
// - lines at the very start that begin with white space continue no field and are skipped,
//   and so is an mbox envelope line ("From sender date") after them; envelope lines further
//   down are left out of the fields but do not end the header;
// - a line of white space only continues the field before it;
// - an empty line ends the header and is dropped;
// - a line that is neither a field ("Name:") nor the continuation of one ends the header and
//   is the first line of the body. A mail that begins with such a line has no header at
//   all: all of it is body.
struct HeaderBlock {
    std::size_t fieldsBegin = 0;  // after the skipped leading lines
    std::size_t end = 0;          // after the line end of the last header line with text
    std::size_t bodyBegin = 0;    // after the separator line; end when none was there
};

HeaderBlock findHeaderBlock(std::string_view rawMail);

// "Name:" with a name of printable characters; blanks before the colon are old but valid.
// content is the line without its line end.
bool isFieldLine(std::string_view content);

}  // namespace tsubame
