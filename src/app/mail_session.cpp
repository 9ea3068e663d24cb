#include "app/mail_session.h"

#include "context/app_context.h"
#include "settings/server_settings.h"

namespace tsubame {

void loadAccountServerSettings(AppContext& app) {
    loadServerSettings(app.paths().serverSettingsFileToRead(), app.account);
}

void startMailLibrary(MailLibrary& mail) {
    mail.NMailInitializeWinSock();
    mail.NMailSetOption(1, MailLibrary::kHeaderBufferSize);
}

void stopMailLibrary(MailLibrary& mail) { mail.NMailEndWinSock(); }

}  // namespace tsubame
