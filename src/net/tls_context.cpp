#include "net/tls_context.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstdlib>

namespace tsubame {
namespace {

bool isIpAddress(const std::string& host) {
    unsigned char buffer[sizeof(struct in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

}  // namespace

std::string takeTlsErrors() {
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        if (!text.empty()) text += "; ";
        text += reason;
    }
    return text;
}

Status makeClientTlsContext(SslCtxPtr& out) {
    ERR_clear_error();
    SslCtxPtr ctx(SSL_CTX_new(TLS_client_method()));
    if (!ctx) return Status::failure("TLSを初期化できません: " + takeTlsErrors());
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_mode(ctx.get(), SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_AUTO_RETRY);
    if (SSL_CTX_set_default_verify_paths(ctx.get()) != 1) {
        return Status::failure("証明書ストアを読み込めません: " + takeTlsErrors());
    }
    if (const char* caFile = std::getenv("TSUBAME_CA_FILE"); caFile != nullptr && *caFile) {
        if (SSL_CTX_load_verify_locations(ctx.get(), caFile, nullptr) != 1) {
            return Status::failure(std::string("CAファイルを読み込めません: ") + caFile + ": " +
                                   takeTlsErrors());
        }
    }
    out = std::move(ctx);
    return {};
}

Status requireServerIdentity(SSL* ssl, const std::string& host) {
    X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
    if (isIpAddress(host)) {
        if (X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) != 1)
            return Status::failure("TLSの設定に失敗しました: " + takeTlsErrors());
        return {};
    }
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    if (SSL_set1_host(ssl, host.c_str()) != 1 ||
        SSL_set_tlsext_host_name(ssl, const_cast<char*>(host.c_str())) != 1) {
        return Status::failure("TLSの設定に失敗しました: " + takeTlsErrors());
    }
    return {};
}

}  // namespace tsubame
