#pragma once

#include <string>
#include <vector>

namespace tsubame {

class NetInterrupt;
struct NetTlsProblem;

// How the texts of an outgoing mail are encoded.
enum class MailTextForm {
    Cp932,  // texts and attachment paths in code page 932, as the described send call takes them
    Utf8,   // texts in UTF-8, attachment paths as the file system names them (native bytes)
};

// One outgoing mail, its texts in textForm.
struct OutgoingMail {
    std::string server;  // "host", "host:port" or "smtps://host[:port]"
    std::string to;
    std::string cc;
    std::string bcc;
    std::string from;
    std::string subject;
    std::string body;
    std::string extraHeaders;
    std::vector<std::string> attachments;  // full paths
    std::string userId;                    // SMTP login, used when the server offers AUTH
    std::string password;
    std::string trustedFingerprint;  // the certificate the user trusts for the server
    MailTextForm textForm = MailTextForm::Cp932;
};

// Builds the MIME message and sends it. Returns >= 0 on success, < 0 on failure with a text
// for the user in error. A raised interrupt ends the session at once, before the mail's end:
// the server then delivers nothing. problem (when given) gets what of a failure the user may
// settle: a login held back for want of STARTTLS, a certificate that could not be verified.
int sendMail(const OutgoingMail& mail, std::string& error, const NetInterrupt* interrupt = nullptr,
             NetTlsProblem* problem = nullptr);

}  // namespace tsubame
