#include "app/mail_session.h"

#include "context/app_context.h"
#include "settings/server_settings_source.h"

namespace tsubame {

ServerSettingsSource loadAccountServerSettings(AppContext& app) {
    return loadServerSettingsOfRun(app.paths(), app.account);
}

}  // namespace tsubame
