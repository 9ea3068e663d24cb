#include "smtp/smtp_send.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/cp932.h"
#include "net/net_connection.h"
#include "net/net_interrupt.h"
#include "net/tls_context.h"
#include "smtp/smtp_message.h"
#include "smtp/smtp_server_name.h"

namespace tsubame {
namespace {

constexpr long kDefaultTimeoutMs = 30000;
// A server silent this long may be one waiting for our TLS handshake: a probe asks.
constexpr auto kGreetingBeforeProbe = std::chrono::milliseconds(2000);
constexpr auto kTlsProbeTime = std::chrono::milliseconds(2500);
constexpr int kSmtpPort = 25;
constexpr std::size_t kMaxReplyShown = 300;

struct CurlEasyCleanup {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using CurlPtr = std::unique_ptr<CURL, CurlEasyCleanup>;

struct CurlMultiCleanup {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using CurlMultiPtr = std::unique_ptr<CURLM, CurlMultiCleanup>;

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

struct TlsSetup {
    const char* caFile = nullptr;
    CertificateCheck* check = nullptr;
};

// Adds the certificates of TSUBAME_CA_FILE to the system store that libcurl loaded, and lets
// the handshake take the user's trusted certificate and note a refused one.
CURLcode setUpTls(CURL*, void* sslContext, void* data) {
    const auto* setup = static_cast<const TlsSetup*>(data);
    auto* ctx = static_cast<SSL_CTX*>(sslContext);
    if (setup->caFile != nullptr && *setup->caFile != '\0' &&
        X509_STORE_load_locations(SSL_CTX_get_cert_store(ctx), setup->caFile, nullptr) != 1)
        return CURLE_SSL_CACERT_BADFILE;
    watchCertificates(ctx, setup->check);
    return CURLE_OK;
}

std::string localHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

// libcurl's results in words the user reads; its own text follows in parentheses.
const char* curlWords(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return "サーバー名が見つかりません";
        case CURLE_COULDNT_CONNECT:
            return "接続できません（サーバーが動いていないか、ポート番号が違います）";
        case CURLE_OPERATION_TIMEDOUT:
            return "サーバーが時間内に応答しません";
        case CURLE_LOGIN_DENIED:
            return "ログインを断られました";
        case CURLE_PEER_FAILED_VERIFICATION:
            return "サーバーの証明書を確認できません";
        case CURLE_SSL_CACERT_BADFILE:
            return "証明書ファイルを読み込めません";
        case CURLE_SSL_CONNECT_ERROR:
            return "暗号化通信を確立できません";
        case CURLE_USE_SSL_FAILED:
            return "サーバーが暗号化通信 (STARTTLS) に対応していません";
        case CURLE_SEND_ERROR:
            return "送信中に接続が切れました";
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
            return "サーバーからの受信中に接続が切れました";
        case CURLE_WEIRD_SERVER_REPLY:
            return "サーバーの応答が正しくありません";
        case CURLE_READ_ERROR:
        case CURLE_ABORTED_BY_CALLBACK:
            return "メールの内容を読み込めません";
        case CURLE_OUT_OF_MEMORY:
            return "メモリが足りません";
        default:
            return "送信に失敗しました";
    }
}

std::string failureText(CURLcode code, const char* detail, long verifyResult,
                        const SmtpServerName& server) {
    std::string text;
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_CONNECT:
            text = "SMTP サーバーに接続できません";
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_USE_SSL_FAILED:
            text = "SMTP サーバーとの暗号化通信を始められません";
            break;
        default:
            text = "メールを送信できません";
            break;
    }
    text += " (" + server.host + ":" + std::to_string(server.port) + "): ";
    text += (code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CONNECT_ERROR) &&
                    verifyResult != X509_V_OK
                ? tlsVerifyErrorText(verifyResult)
                : curlWords(code);
    text += std::string(" (") + ((detail && *detail) ? detail : curl_easy_strerror(code)) + ")";
    return utf8ToCp932(text);
}

// The sockets libcurl has open for a session. Leaving a session, libcurl says QUIT and waits
// for the answer; after an interrupt they are shut first, so that it does not wait.
struct SessionSockets {
    std::vector<curl_socket_t> open;
};

int noteOpened(void* data, curl_socket_t fd, curlsocktype) {
    static_cast<SessionSockets*>(data)->open.push_back(fd);
    return CURL_SOCKOPT_OK;
}

int closeSocket(void* data, curl_socket_t fd) {
    std::erase(static_cast<SessionSockets*>(data)->open, fd);
    return ::close(fd);
}

// curl_easy_perform, but the interrupt's descriptor is watched beside curl's own sockets, so
// that raising it ends the session at once.
// silentTooLong, asked once when the server has said nothing for a while, ends the session
// when it answers true.
CURLcode perform(CURL* c, const NetInterrupt* interrupt,
                 const std::function<bool()>& silentTooLong) {
    NetInterrupt none;
    if (interrupt == nullptr) interrupt = &none;
    const auto start = std::chrono::steady_clock::now();
    bool asked = false;
    SessionSockets sockets;
    curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, noteOpened);
    curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, &sockets);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, closeSocket);
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, &sockets);
    CurlMultiPtr multi(curl_multi_init());
    if (!multi || curl_multi_add_handle(multi.get(), c) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    CURLcode code = CURLE_ABORTED_BY_CALLBACK;
    for (int running = 1; !interrupt->raised();) {
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            code = CURLE_SEND_ERROR;
            break;
        }
        if (running == 0) {
            int left = 0;
            while (CURLMsg* message = curl_multi_info_read(multi.get(), &left))
                if (message->msg == CURLMSG_DONE) code = message->data.result;
            break;
        }
        if (!asked && std::chrono::steady_clock::now() - start >= kGreetingBeforeProbe) {
            asked = true;
            if (silentTooLong && silentTooLong()) {
                code = CURLE_OPERATION_TIMEDOUT;
                break;
            }
        }
        curl_waitfd wake{interrupt->fd(), CURL_WAIT_POLLIN, 0};
        curl_multi_poll(multi.get(), &wake, 1, 250, nullptr);
    }
    if (interrupt->raised())
        for (curl_socket_t fd : sockets.open) ::shutdown(fd, SHUT_RDWR);
    curl_multi_remove_handle(multi.get(), c);
    multi.reset();
    // The handle outlives this call: it must not reach for the sockets list any more.
    curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, nullptr);
    return code;
}

// The server's side of the dialogue as far as an error text needs it: the step (the verb
// of the last command, the address of a RCPT) and the last whole reply. Login commands keep
// only their verb.
struct Dialogue {
    std::string step;
    std::string recipient;
    bool inData = false;  // the server said 354: the reply after the text ends the DATA step
    std::string reply;
    bool replyComplete = true;
    bool anyReply = false;
    bool quitting = false;
};

int watchDialogue(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    static constexpr std::string_view kCommands[] = {"EHLO", "HELO", "STARTTLS", "AUTH", "MAIL",
                                                     "RCPT", "DATA", "RSET",     "QUIT"};
    auto* d = static_cast<Dialogue*>(user);
    const std::string_view text(data, size);
    if (type == CURLINFO_HEADER_OUT) {
        // Lines inside an AUTH exchange are credentials, not commands: never kept.
        std::string verb(text.substr(0, text.find_first_of(" :\r\n")));
        for (char& c : verb) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (std::find(std::begin(kCommands), std::end(kCommands), verb) == std::end(kCommands))
            return 0;
        // The goodbye after a failure must not hide the reply that made it.
        if (verb == "QUIT") {
            d->quitting = true;
            return 0;
        }
        d->step = verb;
        d->inData = false;
        if (d->step == "RCPT") {
            const std::size_t open = text.find('<');
            const std::size_t close = text.find('>', open);
            if (close != std::string_view::npos)
                d->recipient = text.substr(open + 1, close - open - 1);
        }
    } else if (type == CURLINFO_HEADER_IN && !d->quitting) {
        if (d->replyComplete) d->reply.clear();
        d->reply.append(text);
        d->anyReply = true;
        // "250-" goes on, "250 " ends the reply.
        d->replyComplete = text.size() < 4 || text[3] != '-';
        if (d->replyComplete && text.starts_with("354")) d->inData = true;
    }
    return 0;
}

// The reply as one printable line, cut to a length a message box can show.
std::string shownReply(std::string_view reply) {
    std::string text;
    for (char c : reply) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') continue;
        if (c == '\n') {
            if (!text.empty() && text.back() != ' ') text += ' ';
            continue;
        }
        text += (u >= 0x20 && u < 0x7F) ? c : '?';
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.size() > kMaxReplyShown) text = text.substr(0, kMaxReplyShown) + "...";
    return text;
}

std::string stepName(const Dialogue& d) {
    if (d.step == "MAIL") return "送信者の指定 (MAIL FROM)";
    if (d.step == "RCPT") return "宛先 " + d.recipient + " の指定 (RCPT TO)";
    if (d.step == "DATA") return d.inData ? "本文の送信" : "本文の開始 (DATA)";
    if (d.step == "AUTH") return "ログイン (AUTH)";
    if (d.step == "STARTTLS") return "暗号化の開始 (STARTTLS)";
    if (d.step == "EHLO" || d.step == "HELO") return "挨拶 (" + d.step + ")";
    return d.step.empty() ? "接続" : d.step;
}

// A server that wants a login before it takes the mail: 530, or the enhanced code 5.7.0.
bool asksForLogin(long code, std::string_view reply) {
    return code == 530 || (reply.size() > 10 && reply.substr(4, 6) == "5.7.0 ");
}

// What one SMTP session did.
struct SessionResult {
    CURLcode code = CURLE_OK;
    std::string detail;
    long responseCode = 0;  // the server's last reply code
    long verifyResult = X509_V_OK;
    CertificateCheck check;
    bool tlsAnswered = false;  // a silent server answered a TLS handshake instead
    Dialogue dialogue;
};

// One SMTP session that sends message. useSsl: how STARTTLS is asked for on a plain start;
// withLogin: whether the login is handed to libcurl (which logs in when the server offers AUTH).
SessionResult runSession(const OutgoingMail& mail, const SmtpServerName& server,
                         BuiltMessage& message, long useSsl, bool withLogin,
                         const NetInterrupt* interrupt) {
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
    Dialogue& dialogue = result.dialogue;
    char detail[CURL_ERROR_SIZE] = {};
    const long timeoutMs = networkTimeoutMs();
    const long timeoutSeconds = timeoutMs >= 1000 ? timeoutMs / 1000 : 1;
    CertificateCheck check;
    check.host = server.host;
    check.trustedFingerprint = mail.trustedFingerprint;
    // libcurl checks the name after the handshake, where a trusted certificate would fail it.
    check.checkHostHere = !check.trustedFingerprint.empty();
    TlsSetup tls{std::getenv("TSUBAME_CA_FILE"), &check};

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
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, watchDialogue);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &dialogue);
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    // A stalled transfer ends after the time-out; a slow but moving upload goes on.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, check.checkHostHere ? 0L : 2L);
    if (!server.implicitTls) curl_easy_setopt(c, CURLOPT_USE_SSL, useSsl);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_FUNCTION, setUpTls);
    curl_easy_setopt(c, CURLOPT_SSL_CTX_DATA, &tls);
    if (withLogin) {
        curl_easy_setopt(c, CURLOPT_USERNAME, mail.userId.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, mail.password.c_str());
    }
    // A port of TLS from the first byte never greets in clear: a second connection tries a
    // handshake after a short silence, so the hint comes at once, not after the time-out.
    const auto waitsForTls = [&] {
        if (server.implicitTls || dialogue.anyReply) return false;
        ServerAddress address{server.host, server.port, false, false};
        result.tlsAnswered = NetConnection::answersTls(address, kTlsProbeTime, interrupt);
        return result.tlsAnswered;
    };
    result.code = perform(c, interrupt, waitsForTls);
    result.check = check;
    result.detail = detail;
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &result.responseCode);
    curl_easy_getinfo(c, CURLINFO_SSL_VERIFYRESULT, &result.verifyResult);
    return result;
}

}  // namespace

int sendMail(const OutgoingMail& mail, std::string& error, const NetInterrupt* interrupt,
             NetTlsProblem* problem) {
    NetTlsProblem ignored;
    if (problem == nullptr) problem = &ignored;
    *problem = {};
    const std::optional<SmtpServerName> server = parseSmtpServerName(mail.server);
    if (!server) {
        error = utf8ToCp932("SMTP サーバー名が正しくありません: ") + mail.server;
        return -1;
    }
    std::optional<BuiltMessage> message = buildMessage(mail, error);
    if (!message) return -1;
    ensureCurlInitialized();

    // The login travels only inside TLS (smtps://, or a plain start that switched with
    // STARTTLS) unless the name says smtp://. A server without STARTTLS gets the mail without
    // the login, and when it insists on one, nothing is sent.
    const bool login = !mail.userId.empty();
    const bool tlsRequired = login && !server->plainLoginAllowed;
    SessionResult result = runSession(
        mail, *server, *message, tlsRequired ? CURLUSESSL_ALL : CURLUSESSL_TRY, login, interrupt);
    bool loginWithheld = false;
    if (tlsRequired && !server->implicitTls && result.code == CURLE_USE_SSL_FAILED) {
        loginWithheld = true;
        result = runSession(mail, *server, *message, CURLUSESSL_TRY, false, interrupt);
    }
    if (result.code == CURLE_OK) return 0;
    if (interrupt != nullptr && interrupt->raised()) {
        error = utf8ToCp932("送信を中止しました");
        return -1;
    }
    const Dialogue& dialogue = result.dialogue;
    const std::string host =
        server->host.find(':') == std::string::npos ? server->host : "[" + server->host + "]";
    const std::string where = host + ":" + std::to_string(server->port);
    // The user's own port stays; the plain default becomes the TLS default.
    const std::string tlsWhere = server->port == kSmtpPort ? host : where;
    const std::string lead = "メールを送信できません (宛先 " +
                             (dialogue.step == "RCPT"       ? dialogue.recipient
                              : message->envelopeTo.empty() ? std::string()
                                                            : message->envelopeTo.front()) +
                             ", " + where + "): ";
    if (loginWithheld && asksForLogin(result.responseCode, dialogue.reply)) {
        problem->kind = NetTlsProblem::Kind::NoTls;
        problem->server = where;
        problem->plainName = "smtp://" + where;
        error = utf8ToCp932(
            lead +
            "SMTP サーバーがログインを求めていますが、暗号化通信 (STARTTLS) に対応していないため、"
            "パスワードを送らずに中止しました (サーバーの応答: " +
            shownReply(dialogue.reply) +
            ")。暗号化せずにログインしてよい場合はサーバー名を「smtp://" + where +
            "」に、最初から暗号化するサーバーなら「smtps://" + tlsWhere + "」にしてください。");
        return -1;
    }
    if (result.responseCode >= 400 && !dialogue.reply.empty()) {
        error =
            utf8ToCp932(lead + stepName(dialogue) +
                        "でサーバーが断りました。サーバーの応答: " + shownReply(dialogue.reply) +
                        (dialogue.step == "AUTH" ? "（ID とパスワードを確かめてください）" : ""));
        return -1;
    }
    if (result.tlsAnswered) {
        error = utf8ToCp932("SMTP サーバー (" + where +
                            ") は挨拶の代わりに暗号化通信 (TLS) の開始を待っています。"
                            "最初から暗号化するポートです。サーバー名を「smtps://" +
                            where + "」にしてください。");
        return -1;
    }
    *problem = certificateProblem(result.check, where);
    if (problem->kind != NetTlsProblem::Kind::None) {
        error = utf8ToCp932("SMTP サーバー (" + where + ") との暗号化通信を始められません: " +
                            certificateProblemText(*problem));
        return -1;
    }
    error = failureText(result.code, result.detail.c_str(), result.verifyResult, *server);
    if (!server->implicitTls && !dialogue.anyReply && result.code == CURLE_OPERATION_TIMEDOUT) {
        error += utf8ToCp932("（最初から暗号化するポートなら、サーバー名を「smtps://" + where +
                             "」にしてください）");
    }
    return -1;
}

}  // namespace tsubame
