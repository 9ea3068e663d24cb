#pragma once

#include <string>

#include "send/send_passes.h"

namespace tsubame {

class AppPaths;
class StopSignals;

// The send of tsubame --send once its options are checked and read: the account's server and
// address into message, the login of paths' login file, one pass to to. Returns the exit code
// (0 sent, 1 failed, with the library's error text printed, 128 + the signal's number when
// SIGTERM or SIGINT stopped it). The caller has started the mail library.
int sendCommandMail(const AppPaths& paths, const AccountSettings& account, MailLibrary& mail,
                    const std::string& to, OutgoingMessage message, StopSignals* stopSignals);

}  // namespace tsubame
