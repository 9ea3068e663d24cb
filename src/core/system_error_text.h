#pragma once

#include <string>

namespace tsubame {

// An errno value in Japanese words for the user, the system's own text after them in
// parentheses ("ディスクの空きがありません (No space left on device)").
std::string systemErrorText(int code);

}  // namespace tsubame
