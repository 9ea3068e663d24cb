#pragma once

#include <atomic>
#include <cstdint>

namespace tsubame {

// How far the download of a mail has come, written by the downloading thread as the bytes
// arrive and read meanwhile by any thread. A mail's start sets received to 0 and listed, then
// mailNo; a reader that finds mailNo the same before and after reading the sizes has one
// mail's.
struct DownloadProgress {
    std::atomic<int> mailNo{0};             // the mail coming in; 0 between mails
    std::atomic<std::int64_t> received{0};  // its bytes so far
    std::atomic<std::int64_t> listed{0};    // its size by the server's listing; 0 unknown
};

}  // namespace tsubame
