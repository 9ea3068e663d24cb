#pragma once

namespace tsubame {

class AppContext;

// The main window's hover-help option (its check box Check1), which the compose, viewer and
// address book windows read when they load. Without a main window (tests, command-line runs)
// the saved option is used.
bool hoverHelpWanted(AppContext& app);

// Twips to pixels at 96 dots per inch.
constexpr int twipsToPixels(int twips) { return twips / 15; }

}  // namespace tsubame
