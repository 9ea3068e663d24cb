#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tsubame {

// The fortune that the compose window can add below a message body.
inline constexpr int kFortuneCount = 12;

// The line put between the body and the fortune (UTF-8).
std::string_view fortuneBanner();
// Fortune number k, 1 to 12 (UTF-8).
std::string_view fortuneText(int k);

// k = integer part of (r * 12 + 1) for a uniform r with 0 <= r < 1, kept within 1..12.
int fortuneNumberFrom(double r);
// Draws a fortune number from a generator seeded from the clock.
int drawFortuneNumber();

// body, CR LF, CR LF, banner, CR LF, CR LF, fortune k.
std::string bodyWithFortune(std::string_view body, int k);

}  // namespace tsubame
