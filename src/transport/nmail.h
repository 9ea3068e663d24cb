#pragma once

#include <memory>

#include "transport/mail_library.h"

namespace tsubame {

// The real mail library.
std::unique_ptr<MailLibrary> createMailLibrary();

}  // namespace tsubame
