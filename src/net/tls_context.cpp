#include "net/tls_context.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstdlib>
#include <mutex>

namespace tsubame {
namespace {

bool isIpAddress(const std::string& host) {
    unsigned char buffer[sizeof(struct in6_addr)];
    return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

// The handshake failures a user meets, in words; others keep OpenSSL's text alone.
const char* handshakeWords(int reason) {
    switch (reason) {
        case SSL_R_WRONG_VERSION_NUMBER:
        case SSL_R_RECORD_LENGTH_MISMATCH:
        case SSL_R_PACKET_LENGTH_TOO_LONG:
            return "相手が暗号化通信 (TLS) で応答しません（暗号化しないポートかもしれません）";
        case SSL_R_UNSUPPORTED_PROTOCOL:
        case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
        case SSL_R_NO_PROTOCOLS_AVAILABLE:
            return "サーバーの暗号化通信の版が古すぎます（TLS 1.2 以上が必要です）";
        case SSL_R_SSLV3_ALERT_HANDSHAKE_FAILURE:
        case SSL_R_NO_SHARED_CIPHER:
            return "サーバーと共通の暗号方式がありません";
        case SSL_R_CERTIFICATE_VERIFY_FAILED:
            return "サーバーの証明書を確認できません";
        case SSL_R_UNEXPECTED_EOF_WHILE_READING:
            return "暗号化通信の途中でサーバーが接続を切りました";
        default:
            return nullptr;
    }
}

int certificateCheckIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

// Accepts the trusted certificate, notes the first reason a certificate is refused.
int verifyCertificate(int preverified, X509_STORE_CTX* store) {
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* check = ssl == nullptr ? nullptr
                                 : static_cast<CertificateCheck*>(SSL_CTX_get_ex_data(
                                       SSL_get_SSL_CTX(ssl), certificateCheckIndex()));
    X509* leaf = X509_STORE_CTX_get0_cert(store);
    if (check == nullptr || leaf == nullptr) return preverified;
    const CertificateInfo info = describeCertificate(leaf);
    if (!check->trustedFingerprint.empty() && info.fingerprint == check->trustedFingerprint) {
        X509_STORE_CTX_set_error(store, X509_V_OK);
        return 1;
    }
    if (preverified && check->checkHostHere && X509_STORE_CTX_get_error_depth(store) == 0) {
        const std::string& host = check->host;
        const bool named =
            isIpAddress(host) ? X509_check_ip_asc(leaf, host.c_str(), 0) == 1
                              : X509_check_host(leaf, host.data(), host.size(),
                                                X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS, nullptr) == 1;
        if (!named) {
            X509_STORE_CTX_set_error(store, isIpAddress(host) ? X509_V_ERR_IP_ADDRESS_MISMATCH
                                                              : X509_V_ERR_HOSTNAME_MISMATCH);
            preverified = 0;
        }
    }
    if (!preverified && !check->refusedSeen) {
        check->refusedSeen = true;
        check->refusedReason = X509_STORE_CTX_get_error(store);
        check->refused = info;
    }
    return preverified;
}

std::string hexFingerprint(X509* certificate) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) != 1) return {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned int i = 0; i < length; ++i) {
        if (i > 0) text += ':';
        text += kHex[digest[i] >> 4];
        text += kHex[digest[i] & 15];
    }
    return text;
}

std::string nameText(const X509_NAME* name) {
    BIO* out = BIO_new(BIO_s_mem());
    if (out == nullptr) return {};
    X509_NAME_print_ex(out, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long length = BIO_get_mem_data(out, &data);
    std::string text(data, static_cast<std::size_t>(length > 0 ? length : 0));
    BIO_free(out);
    return text;
}

std::string timeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

}  // namespace

std::string takeTlsErrors() {
    std::string text;
    while (unsigned long code = ERR_get_error()) {
        char reason[256];
        ERR_error_string_n(code, reason, sizeof reason);
        if (!text.empty()) text += "; ";
        const char* words =
            ERR_GET_LIB(code) == ERR_LIB_SSL ? handshakeWords(ERR_GET_REASON(code)) : nullptr;
        text += words != nullptr ? std::string(words) + " (" + reason + ")" : reason;
    }
    return text;
}

std::string tlsVerifyErrorText(long code) {
    const char* words = nullptr;
    switch (code) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
            words = "サーバーの証明書は自己署名で、信頼できる発行者がいません";
            break;
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
            words = "サーバーの証明書の発行者を信頼できません（知らない認証局です）";
            break;
        case X509_V_ERR_CERT_HAS_EXPIRED:
            words = "サーバーの証明書の有効期限が切れています";
            break;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            words = "サーバーの証明書はまだ有効期間に入っていません";
            break;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            words = "サーバーの証明書は別のサーバー名のものです";
            break;
        case X509_V_ERR_CERT_REVOKED:
            words = "サーバーの証明書は取り消されています";
            break;
        case X509_V_ERR_INVALID_PURPOSE:
        case X509_V_ERR_INVALID_CA:
            words = "サーバーの証明書はこの用途に使えません";
            break;
        default:
            words = "サーバーの証明書を確認できません";
            break;
    }
    return std::string(words) + " (" + X509_verify_cert_error_string(code) + ")";
}

CertificateInfo describeCertificate(X509* certificate) {
    CertificateInfo info;
    info.fingerprint = hexFingerprint(certificate);
    info.subject = nameText(X509_get_subject_name(certificate));
    info.issuer = nameText(X509_get_issuer_name(certificate));
    info.notBefore = timeText(X509_get0_notBefore(certificate));
    info.notAfter = timeText(X509_get0_notAfter(certificate));
    return info;
}

NetTlsProblem certificateProblem(const CertificateCheck& check, const std::string& server) {
    NetTlsProblem problem;
    if (!check.refusedSeen) return problem;
    problem.kind = NetTlsProblem::Kind::UntrustedCertificate;
    problem.server = server;
    problem.reason = tlsVerifyErrorText(check.refusedReason);
    problem.certificate = check.refused;
    problem.changed = !check.trustedFingerprint.empty();
    return problem;
}

std::string certificateProblemText(const NetTlsProblem& problem) {
    const CertificateInfo& c = problem.certificate;
    return std::string(problem.changed ? "以前に信頼した証明書とは別の証明書です。" : "") +
           problem.reason + "\nSHA-256 指紋: " + c.fingerprint + "\n発行先: " + c.subject +
           "\n発行者: " + c.issuer + "\n有効期間: " + c.notBefore + " 〜 " + c.notAfter;
}

void watchCertificates(SSL_CTX* ctx, CertificateCheck* check) {
    SSL_CTX_set_ex_data(ctx, certificateCheckIndex(), check);
    // The mode stays the owner's: libcurl verifies without it and reads the result after the
    // handshake, which then is the callback's.
    SSL_CTX_set_verify(ctx, SSL_CTX_get_verify_mode(ctx), verifyCertificate);
}

Status makeClientTlsContext(SslCtxPtr& out, CertificateCheck* check) {
    ERR_clear_error();
    SslCtxPtr ctx(SSL_CTX_new(TLS_client_method()));
    if (!ctx) return Status::failure("TLSを初期化できません: " + takeTlsErrors());
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, nullptr);
    if (check != nullptr) watchCertificates(ctx.get(), check);
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
