#pragma once

#include <string>
#include <vector>

namespace tsubame {

// One outgoing mail. Texts are code page 932, as the send call receives them.
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
};

// Builds the MIME message and sends it. Returns >= 0 on success, < 0 on failure with a text
// for the user in error.
int sendMail(const OutgoingMail& mail, std::string& error);

}  // namespace tsubame
