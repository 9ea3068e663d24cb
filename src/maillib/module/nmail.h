#pragma once

#include <memory>

#include "maillib/mail_library.h"

namespace tsubame {

// The real mail library: POP3 through Pop3Client, decoding and attachments through
// decodeMailAndSaveAttachments, sending through sendMail.
//
// Environment: TSUBAME_NET_TIMEOUT_MS (time-out of a connect and of each wait for a server,
// 30 s by default), TSUBAME_CA_FILE (an extra CA certificate file for TLS),
// TSUBAME_POP3_PIPELINING=0 (talk one command at a time even when the server could pipeline).
std::unique_ptr<MailLibrary> createMailLibrary();

}  // namespace tsubame
