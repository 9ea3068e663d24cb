#pragma once

#include <filesystem>
#include <memory>

#include "maillib/mail_library.h"

namespace tsubame {

// The real mail library lives in a module of its own beside the executable, so that its
// network, TLS and MIME libraries are loaded when a mail is first checked or sent, not when
// the program starts.
inline constexpr const char* kMailLibraryModuleFile = "libtsubame_nmail.so";
// The module's one exported call: a new real mail library (createMailLibrary), owned by the
// caller.
inline constexpr const char* kMailLibraryModuleEntry = "tsubame_create_mail_library";

// A mail library that loads module (once, from whichever thread calls first) at its first
// call that needs the real library and passes every call on to it. Starting, setting options
// and stopping before that first call are remembered, not passed, so they load nothing.
// When the module cannot be loaded every call fails and NMailGetMessage says why.
std::unique_ptr<MailLibrary> createMailLibraryOnFirstUse(std::filesystem::path module);

}  // namespace tsubame
