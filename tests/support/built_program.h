#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace tsubame::testing {

// The build folder: TSUBAME_BUILD_DIR when set, else the parent of the test's own folder
// (tests run from <build>/tests).
inline std::filesystem::path buildDir() {
    if (const char* dir = std::getenv("TSUBAME_BUILD_DIR"); dir != nullptr && *dir != '\0')
        return dir;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "..";
}

// The built program, for tests that run it as a process.
inline std::filesystem::path builtProgram() { return buildDir() / "src" / "app" / "tsubame"; }

}  // namespace tsubame::testing
