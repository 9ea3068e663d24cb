#pragma once

#include <filesystem>
#include <optional>

namespace tsubame {

// The application folder of a tsubame --check command line that the executable runs without
// Qt: "--check" and at most one "--app-folder DIR" (or "--app-folder=DIR"), in UTF-8. Any
// other command line is nullopt, for the window library's full parser.
// envAppFolder: TSUBAME_APP_FOLDER, or null when it is not set.
std::optional<std::filesystem::path> plainCheck(int argc, char** argv, const char* envAppFolder);

}  // namespace tsubame
