#pragma once

#include <cstdint>
#include <string>

namespace tsubame {

// The server and login settings shared by the mail check and both sends. Texts are UTF-8 in
// memory; the files hold them in code page 932.
struct AccountSettings {
    std::string SmtpServer;
    std::string Pop3Server;
    std::string MailAddress;
    std::int16_t UseApop = 0;  // 0 = plain login, otherwise APOP
    std::string UserId;
    std::string Password;
};

}  // namespace tsubame
