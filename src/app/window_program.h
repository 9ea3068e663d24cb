#pragma once

#include "app/cli_options.h"

// The windows, and --check (which runs the main window's check), live in a shared library
// beside the executable: the executable itself links Qt Core only, so that --send, --help and
// --version load neither Qt's GUI libraries nor the fonts and X11 libraries behind them.
extern "C" __attribute__((visibility("default"))) int tsubame_run_window_program(
    int argc, char** argv, const tsubame::CliOptions* options);

namespace tsubame {

inline constexpr const char* kWindowProgramFile = "libtsubame_windows.so";
inline constexpr const char* kWindowProgramEntry = "tsubame_run_window_program";

// Loads the library from the executable's folder and runs options' mode there (the main
// window or --check). Returns its exit code, or 1 after a message when it cannot be loaded.
int runWindowProgram(int argc, char** argv, const CliOptions& options);

}  // namespace tsubame
