#pragma once

#include <functional>
#include <string_view>

namespace tsubame {

// Where content goes, a piece at a time, so that no part of a mail needs to be held whole.
class ContentSink {
  public:
    virtual ~ContentSink() = default;
    // False when the piece could not be taken; the writing stops there.
    virtual bool put(std::string_view piece) = 0;
};

// Writes the bytes of one file's content into a sink; false when the sink refused them.
using ContentWriter = std::function<bool(ContentSink&)>;

}  // namespace tsubame
