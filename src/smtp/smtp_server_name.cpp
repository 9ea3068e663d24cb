#include "smtp/smtp_server_name.h"

#include "net/net_server_name.h"

namespace tsubame {

std::string SmtpServerName::url() const {
    const bool ipv6 = host.find(':') != std::string::npos;
    return std::string(implicitTls ? "smtps://" : "smtp://") + (ipv6 ? "[" + host + "]" : host) +
           ":" + std::to_string(port);
}

std::optional<SmtpServerName> parseSmtpServerName(std::string_view text) {
    // The same rules as the POP3 server name, with the SMTP schemes and ports.
    ServerAddress address;
    if (!parseServerName(text, "smtp", "smtps", 25, 465, address)) return std::nullopt;
    return SmtpServerName{address.host, address.port, address.implicitTls,
                          address.plainLoginAllowed};
}

}  // namespace tsubame
