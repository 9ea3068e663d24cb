#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tsubame {

class AppPaths;
class MailLibrary;
class StopSignals;
struct AccountSettings;
struct SendCommand;

// tsubame --send once the command line is read: --to checked, the body read, then
// sendCommandMail with the account and the login file of paths. The caller has loaded the
// server settings and started the mail library. Returns the exit code (0 sent, 1 failed or
// refused, with a message, 128 + the signal's number when SIGTERM or SIGINT stopped it).
int runSendCommand(const AppPaths& paths, const AccountSettings& account, MailLibrary& mail,
                   const SendCommand& command, StopSignals* stopSignals = nullptr);

// The bare address of a --to that names exactly one mailbox ("a@x", "Name <a@x>", comments
// in parentheses allowed); nullopt with a message for the user otherwise.
std::optional<std::string> singleMailbox(std::string_view to, std::string& error);

// The body file's text as the send call takes it: read once as a stream (a FIFO or a pipe
// works), a leading byte order mark dropped, what is not UTF-8 replaced by U+FFFD, every line
// break CR LF. nullopt when the file cannot be read.
std::optional<std::string> readBodyFile(const std::string& path);

}  // namespace tsubame
