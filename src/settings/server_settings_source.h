#pragma once

#include <filesystem>
#include <string>

#include "core/app_paths.h"
#include "settings/account_settings.h"

namespace tsubame {

// Where a run's server settings came from, and what the user is told about it once.
struct ServerSettingsSource {
    std::filesystem::path file;  // the file read; empty when none was
    std::string notice;          // UTF-8; empty when there is nothing to tell
    bool unreadable = false;     // a file is there and could not be read
};

// Loads "korumi.ini" for this run: the application folder's; when it has none, the one left
// in the working directory by an older installation, but only a file of this user that no
// other user may write (someone else's folder must not choose our server). Saving goes to
// the application folder from then on.
ServerSettingsSource loadServerSettingsOfRun(const AppPaths& paths, AccountSettings& settings);

}  // namespace tsubame
