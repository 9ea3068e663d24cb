#pragma once

#include "settings/server_settings_source.h"

namespace tsubame {

class AppContext;
class MailLibrary;

// The start-up steps every run needs, with or without windows: the server settings from
// "korumi.ini" of the application folder (or the one left in the working directory) into the
// shared account settings. The caller tells the user the source's notice.
ServerSettingsSource loadAccountServerSettings(AppContext& app);

// Starts the mail library once per run (header buffers of 8192 characters) and stops it.
void startMailLibrary(MailLibrary& mail);
void stopMailLibrary(MailLibrary& mail);

}  // namespace tsubame
