#pragma once

// The windows, --check (which runs the main window's check) and every command line the
// executable does not run itself live in a shared library beside the executable. The
// executable links no Qt at all, so that a plain --send (app/plain_send.h) loads neither Qt
// nor the GUI, font and X11 libraries behind it.
extern "C" __attribute__((visibility("default"))) int tsubame_run_window_program(int argc,
                                                                                 char** argv);

namespace tsubame {

inline constexpr const char* kWindowProgramFile = "libtsubame_windows.so";
inline constexpr const char* kWindowProgramEntry = "tsubame_run_window_program";

// Loads the library from the executable's folder and runs the command line there. Returns its
// exit code, or 1 after a message when the library cannot be loaded.
int runWindowProgram(int argc, char** argv);

}  // namespace tsubame
