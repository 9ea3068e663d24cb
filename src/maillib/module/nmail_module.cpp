// The entry of the mail library module (see maillib/mail_library_module.h).

#include "maillib/mail_library_module.h"
#include "maillib/nmail.h"

extern "C" __attribute__((visibility("default"))) tsubame::MailLibrary*
tsubame_create_mail_library() {
    return tsubame::createMailLibrary().release();
}
