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

// A server certificate as the user is shown it.
struct CertificateInfo {
    std::string fingerprint;  // SHA-256, "AB:CD:..."
    std::string subject;
    std::string issuer;
    std::string notBefore;
    std::string notAfter;
};

// What one handshake knows of the user's trust and what it saw. A certificate whose SHA-256
// is trustedFingerprint is taken for this server whatever the certificate store says; one
// that fails verification otherwise lands in refused, with the reason.
struct CertificateCheck {
    std::string host;
    std::string trustedFingerprint;
    // The handshake itself checks the name against host (for libcurl, which otherwise checks
    // it after the handshake, where a trusted certificate could not pass).
    bool checkHostHere = false;
    bool refusedSeen = false;
    long refusedReason = 0;  // X509_V_ERR_*
    CertificateInfo refused;
};

// A TLS problem the user may settle: a server without STLS (STARTTLS) where the login stayed
// back, or a certificate that could not be verified.
struct NetTlsProblem {
    enum class Kind { None, NoTls, UntrustedCertificate };
    Kind kind = Kind::None;
    std::string server;     // "host:port"
    std::string plainName;  // NoTls: the name that allows the login in clear
    std::string reason;
    CertificateInfo certificate;
    bool changed = false;  // a certificate was trusted for the server, and this is another
};

// The problem and the user's text for a handshake that check refused; kind None when the
// handshake failed for another reason.
NetTlsProblem certificateProblem(const CertificateCheck& check, const std::string& server);
std::string certificateProblemText(const NetTlsProblem& problem);

// A client context that verifies the server against the system's certificate store, plus the
// CA file named by the environment variable TSUBAME_CA_FILE when it is set. TLS 1.2 or newer.
// With check, its trusted certificate passes and a refused one is noted there (check must
// outlive every handshake of the context).
Status makeClientTlsContext(SslCtxPtr& out, CertificateCheck* check = nullptr);

// Lets the handshakes of ctx (one of libcurl's) take check's trusted certificate and note a
// refused one.
void watchCertificates(SSL_CTX* ctx, CertificateCheck* check);

// Asks the handshake to check that the certificate names host (a DNS name or an IP address).
Status requireServerIdentity(SSL* ssl, const std::string& host);

CertificateInfo describeCertificate(X509* certificate);

// The reasons OpenSSL queued for the last failure, in words the user reads (OpenSSL's own
// text in parentheses), emptied from its queue.
std::string takeTlsErrors();

// A verification result (X509_V_ERR_*) in words the user reads, OpenSSL's text after them.
std::string tlsVerifyErrorText(long code);

}  // namespace tsubame
