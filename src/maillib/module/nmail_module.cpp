// The entry of the mail library module (see maillib/mail_library_module.h).

#include "maillib/mail_library_module.h"
#include "maillib/module/nmail.h"

extern "C" __attribute__((visibility("default"))) tsubame::MailLibrary*
tsubame_create_mail_library() {
    return tsubame::createMailLibrary().release();
}

// Read by the program before it calls anything (see kMailLibraryModuleInterface).
extern "C" {
__attribute__((visibility("default"))) extern const int tsubame_mail_library_interface;
const int tsubame_mail_library_interface = tsubame::kMailLibraryInterfaceVersion;
}
