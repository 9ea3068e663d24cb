// A module as built before modules carried their interface version: never to be called.
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) void* tsubame_create_mail_library() {
    std::abort();
}
