#include "app/mail_library_run.h"

#include "maillib/mail_library.h"

namespace tsubame {

void startMailLibrary(MailLibrary& mail) {
    mail.NMailInitializeWinSock();
    mail.NMailSetOption(1, MailLibrary::kHeaderBufferSize);
}

void stopMailLibrary(MailLibrary& mail) { mail.NMailEndWinSock(); }

}  // namespace tsubame
