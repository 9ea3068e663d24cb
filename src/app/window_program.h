#pragma once

#include <filesystem>

// The executable links no Qt and no GMime, so that a plain --send (app/plain_send.h) loads
// neither Qt nor the GUI, font and X11 libraries behind it. What it does not run itself lives
// in two shared libraries beside it: the windows and every command line it does not read
// itself (parsed there with Qt), and the plain --check (app/plain_check.h), which needs the
// mail check's layers but no Qt.
extern "C" __attribute__((visibility("default"))) int tsubame_run_window_program(int argc,
                                                                                 char** argv);
extern "C" __attribute__((visibility("default"))) int tsubame_run_check_program(
    const char* appFolder);

namespace tsubame {

inline constexpr const char* kWindowProgramFile = "libtsubame_windows.so";
inline constexpr const char* kWindowProgramEntry = "tsubame_run_window_program";
inline constexpr const char* kCheckProgramFile = "libtsubame_check.so";
inline constexpr const char* kCheckProgramEntry = "tsubame_run_check_program";

// Load their library from the executable's folder and run the command line there. Return its
// exit code, or 1 after a message when the library cannot be loaded.
int runWindowProgram(int argc, char** argv);
int runCheckLibrary(const std::filesystem::path& appFolder);

}  // namespace tsubame
