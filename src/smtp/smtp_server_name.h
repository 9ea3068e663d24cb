#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tsubame {

// Where to send: "smtps://host[:port]" speaks TLS from the first byte (port 465 by
// default); "host", "host:port" or "smtp://host[:port]" start plain on port 25 by default
// and switch to TLS whenever the server offers STARTTLS. Only "smtp://" lets the login go
// in clear to a server without STARTTLS.
struct SmtpServerName {
    std::string host;
    int port = 25;
    bool implicitTls = false;
    bool plainLoginAllowed = false;
    std::string url() const;  // "smtp://host:port" or "smtps://host:port"
};

// Nothing for an empty or malformed name (bad port, blanks or control characters).
std::optional<SmtpServerName> parseSmtpServerName(std::string_view text);

}  // namespace tsubame
