#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

#include "core/status.h"

namespace tsubame {

struct SslCtxFree {
    void operator()(SSL_CTX* ctx) const { SSL_CTX_free(ctx); }
};
struct SslFree {
    void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using SslCtxPtr = std::unique_ptr<SSL_CTX, SslCtxFree>;
using SslPtr = std::unique_ptr<SSL, SslFree>;

// A client context that verifies the server against the system's certificate store, plus the
// CA file named by the environment variable TSUBAME_CA_FILE when it is set. TLS 1.2 or newer.
Status makeClientTlsContext(SslCtxPtr& out);

// Asks the handshake to check that the certificate names host (a DNS name or an IP address).
Status requireServerIdentity(SSL* ssl, const std::string& host);

// The reasons OpenSSL queued for the last failure, emptied from its queue.
std::string takeTlsErrors();

}  // namespace tsubame
