// A mail library module as built before modules carried their interface version: the same
// entry, no version. The program must not call it.
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) void* tsubame_create_mail_library() {
    std::abort();
}
