#pragma once

#include <string>
#include <string_view>

#include "core/status.h"

namespace tsubame {

// A server as the settings name it: "host", "host:port", "[v6-address]:port", or with a
// scheme, "pop3s://host[:port]" for TLS from the first byte.
struct ServerAddress {
    std::string host;
    int port = 0;
    bool implicitTls = false;
    // The plain scheme was written ("pop3://host"): the user agrees to a login in clear when
    // the server offers no TLS. A bare name logs in only inside TLS.
    bool plainLoginAllowed = false;
};

// tlsScheme is the scheme that asks for TLS ("pop3s"); plainScheme is accepted as well.
Status parseServerName(std::string_view name, std::string_view plainScheme,
                       std::string_view tlsScheme, int plainPort, int tlsPort, ServerAddress& out);

// "host:port", with brackets around an IPv6 address.
std::string describeAddress(const ServerAddress& address);

}  // namespace tsubame
