#include "net/net_timeout.h"

#include <cstdlib>
#include <string>

namespace tsubame {

std::chrono::milliseconds networkTimeout() {
    constexpr long long kDefaultMs = 30000;
    constexpr long long kMaxMs = 3600000;
    const char* text = std::getenv("TSUBAME_NET_TIMEOUT_MS");
    if (text == nullptr || *text == '\0') return std::chrono::milliseconds(kDefaultMs);
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || value <= 0) return std::chrono::milliseconds(kDefaultMs);
    return std::chrono::milliseconds(value > kMaxMs ? kMaxMs : value);
}

}  // namespace tsubame
