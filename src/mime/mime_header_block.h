#pragma once

#include <cstddef>
#include <string_view>

namespace tsubame {

// Where the header of a raw mail ends, read the way common mail readers read it:
// - lines at the very start that begin with white space continue no field and are skipped;
// - an empty line, or a line of white space only, ends the header and is dropped;
// - a line that is neither a field ("Name:"), nor the continuation of one, nor an mbox
//   "From " line at the start, ends the header and is the first line of the body. A mail
//   that begins with such a line has no header at all: all of it is body.
struct HeaderBlock {
    std::size_t fieldsBegin = 0;  // after the skipped leading lines
    std::size_t end = 0;          // after the line end of the last header line
    std::size_t bodyBegin = 0;    // after the separator line; end when none was there
};

HeaderBlock findHeaderBlock(std::string_view rawMail);

}  // namespace tsubame
