#pragma once

#include <filesystem>

// The executable links no Qt and no GMime, so that --send loads neither Qt nor the GUI, font
// and X11 libraries behind it. It reads the command line (app/command_line.h) and leaves two
// things to shared libraries beside it: the windows, and --check, which needs the mail
// check's layers but no Qt. argc and argv are for Qt's own options; appFolder is the run's
// application folder.
extern "C" __attribute__((visibility("default"))) int tsubame_run_window_program(
    int argc, char** argv, const char* appFolder);
extern "C" __attribute__((visibility("default"))) int tsubame_run_check_program(
    const char* appFolder);

namespace tsubame {

inline constexpr const char* kWindowProgramFile = "libtsubame_windows.so";
inline constexpr const char* kWindowProgramEntry = "tsubame_run_window_program";
inline constexpr const char* kCheckProgramFile = "libtsubame_check.so";
inline constexpr const char* kCheckProgramEntry = "tsubame_run_check_program";

// Load their library from the executable's folder and run it there. Return its exit code, or
// 1 after a message when the library cannot be loaded.
int runWindowProgram(int argc, char** argv, const std::filesystem::path& appFolder);
int runCheckLibrary(const std::filesystem::path& appFolder);

}  // namespace tsubame
