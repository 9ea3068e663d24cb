#include "app/mail_session.h"

#include "context/app_context.h"
#include "settings/server_settings_source.h"

namespace tsubame {

ServerSettingsSource loadAccountServerSettings(AppContext& app) {
    return loadServerSettingsOfRun(app.paths(), app.account);
}

void startMailLibrary(MailLibrary& mail) {
    mail.NMailInitializeWinSock();
    mail.NMailSetOption(1, MailLibrary::kHeaderBufferSize);
}

void stopMailLibrary(MailLibrary& mail) { mail.NMailEndWinSock(); }

}  // namespace tsubame
