#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "maillib/mail_library.h"

namespace tsubame {

// The real mail library lives in a module of its own beside the executable, so that its
// network, TLS and MIME libraries are loaded when a mail is first checked or sent, not when
// the program starts.
inline constexpr const char* kMailLibraryModuleFile = "libtsubame_nmail.so";
// The module's one exported call: a new real mail library (createMailLibrary), owned by the
// caller.
inline constexpr const char* kMailLibraryModuleEntry = "tsubame_create_mail_library";
// The module's exported int that names the version of the MailLibrary calls it was built
// with. Raise kMailLibraryInterfaceVersion with every change to those calls: a module of
// another version is never called.
inline constexpr const char* kMailLibraryModuleInterface = "tsubame_mail_library_interface";
inline constexpr int kMailLibraryInterfaceVersion = 7;

// The SHA-256 (hex) of the module built together with the program; defined by the build in
// the program (and the tests that load the module), not in the module.
extern const char* const kBuiltMailLibraryModuleDigest;

// A mail library that loads module (once, from whichever thread calls first) at its first
// call that needs the real library and passes every call on to it. Starting, setting options
// and stopping before that first call are remembered, not passed, so they load nothing.
// When the module cannot be loaded every call fails and NMailGetMessage says why. Before
// loading, the file is checked (openCheckedModule; expectedDigest may be empty) and after
// it, its interface version; nothing of a module that fails a check is called.
std::unique_ptr<MailLibrary> createMailLibraryOnFirstUse(std::filesystem::path module,
                                                         std::string expectedDigest);

}  // namespace tsubame
