#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "maillib/mail_library.h"
#include "settings/account_settings.h"
#include "store/address_record.h"

namespace tsubame {

// One message as the compose window (or the send command) hands it over. Texts are UTF-8;
// the body's lines are separated by CR LF; attachments are full paths joined by ",", as the
// file system names them (native bytes).
struct OutgoingMessage {
    std::string server;
    std::string from;
    std::string subject;
    std::string body;
    std::string attachments;
    bool fortune = false;
    // The certificates the user trusts (server "host:port" to SHA-256), handed to the library.
    std::map<std::string, std::string> trustedCertificates;
};

// The recipient of one pass: the address sent to, and the text the recipient box shows.
struct PassRecipient {
    std::string address;
    std::string shown;
};

// What a send tells its window while it runs.
struct SendHooks {
    std::function<void(int pass, const PassRecipient&)> passStarting;
    std::function<void(int pass, const std::string& address, const std::string& error)> passFailed;
    std::function<int()> drawFortune;  // 1..12; a clock-seeded draw when empty
};

struct SendReport {
    int sent = 0;
    int skipped = 0;  // passes without a usable address book entry
    std::vector<std::string> failedAddresses;
    std::vector<std::string> sentAddresses;
    std::vector<int>
        unsentPasses;  // 1-based numbers of the passes that did not send (skipped or failed)
    // A pass failed on a TLS problem the user may settle (told here, not through passFailed):
    // every later pass would meet it too, so none is made.
    MailLibrary::TlsProblem tlsProblem;
    std::string tlsProblemText;
    // Every pass sent; a skipped pass counts as not sent.
    bool allSent() const { return unsentPasses.empty(); }
};

// The result of one library send call.
struct SendCallResult {
    bool ok = false;
    std::string error;  // the library's text after a failure (UTF-8)
    MailLibrary::TlsProblem tlsProblem;
};

// One SMTP send call through the library's UTF-8 call, so that no character is lost on the
// way: no Cc, Bcc or extra headers, the attachment list as one string ("" when none), flags 0.
// After a failure the library's error text is fetched.
SendCallResult sendOneMessage(MailLibrary& mail, const OutgoingMessage& message,
                              const std::string& to, const std::string& body);

// Hands the SMTP login to the library. The login file wins over values only typed into the
// account dialog, as for the mail check; the in-memory values are used when the file has none.
// The stored values are the file's bytes (SettingsFiles::readLoginAsStored), passed unchanged.
void applySmtpLogin(MailLibrary& mail, const AccountSettings& account,
                    const std::string& storedUserId, const std::string& storedPassword);

// Recipients of the to-all passes: pass i is address book entry i. A pass whose entry is
// missing (the book shrank since the list was loaded) or whose address is blank is nullopt,
// so that nothing is sent to a stale or empty address.
std::vector<std::optional<PassRecipient>> toAllRecipients(
    int passCount, const std::vector<AddressRecord>& entries);

// The to-all passes still to make after an earlier press: the passes whose address already
// got this message are left out. rows holds the list row (0-based) of each remaining pass.
struct RemainingPasses {
    std::vector<std::optional<PassRecipient>> passes;
    std::vector<int> rows;
    int alreadySent = 0;
};
RemainingPasses remainingPasses(const std::vector<std::optional<PassRecipient>>& passes,
                                const std::set<std::string>& delivered);

// Runs every pass; a failed pass does not stop the later ones. Each pass sends the body as
// written plus, when wanted, one fortune block.
SendReport runSendPasses(MailLibrary& mail, const OutgoingMessage& message,
                         const std::vector<std::optional<PassRecipient>>& passes,
                         const SendHooks& hooks = {});

}  // namespace tsubame
