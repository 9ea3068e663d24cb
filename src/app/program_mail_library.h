#pragma once

#include <memory>

#include "core/app_paths.h"
#include "maillib/mail_library_module.h"

namespace tsubame {

// The program's mail library: curl, GMime and OpenSSL's TLS load with the first check or
// send, not with the program. The module's digest is built into the program (and into the
// window library) by src/app/CMakeLists.txt.
inline std::unique_ptr<MailLibrary> createProgramMailLibrary() {
    return createMailLibraryOnFirstUse(executableFolder() / kMailLibraryModuleFile,
                                       kBuiltMailLibraryModuleDigest);
}

}  // namespace tsubame
