#pragma once

#include <chrono>

namespace tsubame {

// How long a connect or one wait for the server may take, and the fixed part of every
// command's deadline (a status line gets this much, a mail this much plus its size at a
// minimum rate). 30 seconds unless the environment variable TSUBAME_NET_TIMEOUT_MS gives
// another value (tests shorten it).
std::chrono::milliseconds networkTimeout();

}  // namespace tsubame
