#include "app/plain_check.h"

#include <string>
#include <string_view>

#include "app/plain_send.h"
#include "core/app_paths.h"

namespace tsubame {

std::optional<std::filesystem::path> plainCheck(int argc, char** argv, const char* envAppFolder) {
    bool check = false;
    std::optional<std::string> appFolder;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!isPlainUtf8(argument)) return std::nullopt;
        if (argument == "--check" && !check) {
            check = true;
        } else if (argument.starts_with("--app-folder=") && !appFolder) {
            appFolder = argument.substr(13);
        } else if (argument == "--app-folder" && !appFolder && i + 1 < argc &&
                   !std::string_view(argv[i + 1]).starts_with('-')) {
            appFolder = argv[++i];
        } else {
            return std::nullopt;
        }
    }
    if (!check || (appFolder && appFolder->empty())) return std::nullopt;
    const std::string folder = appFolder ? *appFolder : envAppFolder ? envAppFolder : "";
    if (!isPlainUtf8(folder)) return std::nullopt;
    return folder.empty() ? executableFolder() : std::filesystem::path(folder);
}

}  // namespace tsubame
