#pragma once

#include "app/mail_library_run.h"
#include "settings/server_settings_source.h"

namespace tsubame {

class AppContext;

// The main window's start-up step: the server settings from "korumi.ini" of
// the application folder (or the one left in the working directory) into the shared account
// settings. The caller tells the user the source's notice.
ServerSettingsSource loadAccountServerSettings(AppContext& app);

}  // namespace tsubame
