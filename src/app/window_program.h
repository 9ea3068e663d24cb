#pragma once

#include <filesystem>

// The executable links no Qt, so that --check and --send load neither Qt nor the GUI, font and
// X11 libraries behind it. It reads the command line (app/command_line.h) and leaves the
// windows to the window library beside it, loaded only after the same checks as the mail
// library module (maillib/module_file_check.h). argc and argv are for Qt's own options;
// appFolder is the run's application folder.
extern "C" __attribute__((visibility("default"))) int tsubame_run_window_program(
    int argc, char** argv, const char* appFolder);

namespace tsubame {

inline constexpr const char* kWindowProgramFile = "libtsubame_windows.so";
inline constexpr const char* kWindowProgramEntry = "tsubame_run_window_program";
// The window library's exported int naming the version of what it calls in the executable
// and how it is called: raise it with every change there. A library of another version is
// never called.
inline constexpr const char* kWindowLibraryInterface = "tsubame_window_library_interface";
inline constexpr int kWindowLibraryInterfaceVersion = 2;
inline constexpr const char* kWindowLibraryName = "画面のモジュール";

// The SHA-256 (hex) of the window library built together with the program; defined by the
// build in the executable.
extern const char* const kBuiltWindowLibraryDigest;

// Loads the window library from the executable's folder and runs the windows there. Returns
// its exit code, or 1 after a message when the library cannot be loaded.
int runWindowProgram(int argc, char** argv, const std::filesystem::path& appFolder);

}  // namespace tsubame
