#include "smtp/smtp_send.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "core/cp932.h"
#include "smtp/smtp_message.h"
#include "smtp/smtp_server_name.h"

namespace tsubame {
namespace {

constexpr long kDefaultTimeoutMs = 30000;
constexpr long kAuthenticationRequired = 530;  // the reply of a server that wants a login first

struct CurlEasyCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlPtr = std::unique_ptr<CURL, CurlEasyCleanup>;

struct CurlListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlListPtr = std::unique_ptr<curl_slist, CurlListFree>;

void ensureCurlInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long networkTimeoutMs() {
    const char* value = std::getenv("TSUBAME_NET_TIMEOUT_MS");
    if (!value || !*value) return kDefaultTimeoutMs;
    char* end = nullptr;
    const long ms = std::strtol(value, &end, 10);
    return (end && *end == '\0' && ms > 0) ? ms : kDefaultTimeoutMs;
}

size_t readUpload(char* buffer, size_t size, size_t count, void* userData) {
    const std::ptrdiff_t n = static_cast<BuiltMessageReader*>(userData)->read(buffer, size * count);
    return n < 0 ? CURL_READFUNC_ABORT : static_cast<size_t>(n);
}

// Adds the certificates of TSUBAME_CA_FILE to the system store that libcurl loaded.
CURLcode addExtraCertificates(CURL*, void* sslContext, void* caFile) {
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (X509_STORE_load_locations(store, static_cast<const char*>(caFile), nullptr) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    return CURLE_OK;
}

std::string localHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

std::string failureText(CURLcode code, const char* detail, const SmtpServerName& server) {
    std::string text;
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            text = "SMTP サーバーが見つかりません";
            break;
        case CURLE_COULDNT_CONNECT:
            text = "SMTP サーバーに接続できません";
            break;
        case CURLE_OPERATION_TIMEDOUT:
            text = "SMTP サーバーが時間内に応答しません";
            break;
        case CURLE_LOGIN_DENIED:
            text = "SMTP サーバーへのログインに失敗しました。ID とパスワードを確かめてください";
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
            text = "SMTP サーバーの証明書を確認できません";
            break;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_USE_SSL_FAILED:
            text = "SMTP サーバーとの暗号化通信を始められません";
            break;
        default:
            text = "メールを送信できません";
            break;
    }
    text += " (" + server.host + ":" + std::to_string(server.port) + ")";
    text += ": ";
    text += (detail && *detail) ? detail : curl_easy_strerror(code);
    return utf8ToCp932(text);
}

// What one SMTP session did.
struct SessionResult {
    CURLcode code = CURLE_OK;
    std::string detail;
    long responseCode = 0;  // the server's last reply code
};

// One SMTP session that sends message. useSsl: how STARTTLS is asked for on a plain start;
// withLogin: whether the login is handed to libcurl (which logs in when the server offers AUTH).
SessionResult runSession(const OutgoingMail& mail, const SmtpServerName& server,
                         BuiltMessage& message, long useSsl, bool withLogin) {
    SessionResult result;
    CurlPtr curl(curl_easy_init());
    if (!curl) {
        result.code = CURLE_FAILED_INIT;
        result.detail = "libcurl を初期化できません";
        return result;
    }
    CURL* c = curl.get();
    const std::string url = server.url() + "/" + localHostName();
    const std::string from = "<" + message.envelopeFrom + ">";
    CurlListPtr recipients;
    for (const std::string& to : message.envelopeTo) {
        curl_slist* head = recipients.release();
        curl_slist* appended = curl_slist_append(head, ("<" + to + ">").c_str());
        recipients.reset(appended ? appended : head);
    }
    BuiltMessageReader source(message);
    char detail[CURL_ERROR_SIZE] = {};
    const long timeoutMs = networkTimeoutMs();
    const long timeoutSeconds = timeoutMs >= 1000 ? timeoutMs / 1000 : 1;
    const char* caFile = std::getenv("TSUBAME_CA_FILE");

    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(c, CURLOPT_READFUNCTION, readUpload);
    curl_easy_setopt(c, CURLOPT_READDATA, &source);
    curl_easy_setopt(c, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, detail);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, timeoutSeconds);
    // A stalled transfer ends after the time-out; a slow but moving upload goes on.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!server.implicitTls) curl_easy_setopt(c, CURLOPT_USE_SSL, useSsl);
    if (caFile && *caFile) {
        curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, addExtraCertificates);
        curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, const_cast<char*>(caFile));
    }
    if (withLogin) {
        curl_easy_setopt(c, CURLOPT_USERNAME, mail.userId.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, mail.password.c_str());
    }
    result.code = curl_easy_perform(c);
    result.detail = detail;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.responseCode);
    return result;
}

}  // namespace

int sendMail(const OutgoingMail& mail, std::string& error) {
    const std::optional<SmtpServerName> server = parseSmtpServerName(mail.server);
    if (!server) {
        error = utf8ToCp932("SMTP サーバー名が正しくありません: ") + mail.server;
        return -1;
    }
    std::optional<BuiltMessage> message = buildMessage(mail, error);
    if (!message) return -1;
    ensureCurlInitialized();

    // The login travels only inside TLS: smtps://, or a plain start that switched with
    // STARTTLS. A server without STARTTLS gets the mail without the login, and when it
    // insists on one, nothing is sent.
    const bool login = !mail.userId.empty();
    SessionResult result =
        runSession(mail, *server, *message, login ? CURLUSESSL_ALL : CURLUSESSL_TRY, login);
    bool loginWithheld = false;
    if (login && !server->implicitTls && result.code == CURLE_USE_SSL_FAILED) {
        loginWithheld = true;
        result = runSession(mail, *server, *message, CURLUSESSL_TRY, false);
    }
    if (result.code == CURLE_OK) return 0;
    if (loginWithheld && result.responseCode == kAuthenticationRequired) {
        error = utf8ToCp932(
            "SMTP サーバーがログインを求めていますが、暗号化通信 (STARTTLS) に対応していないため、"
            "パスワードを送らずに送信を中止しました。smtps:// で始まるサーバー名をお試しください "
            "(" +
            server->host + ":" + std::to_string(server->port) + ")");
        return -1;
    }
    error = failureText(result.code, result.detail.c_str(), *server);
    if (loginWithheld)
        error += utf8ToCp932(" (暗号化通信ができないため、ログインは送っていません)");
    return -1;
}

}  // namespace tsubame
