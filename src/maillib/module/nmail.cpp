#include "maillib/module/nmail.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>

#include "core/cp932.h"
#include "mime/mime_charset.h"
#include "mime/mime_decode.h"
#include "mime/mime_parse.h"
#include "net/net_interrupt.h"
#include "net/net_timeout.h"
#include "pop3/pop3_client.h"
#include "smtp/smtp_send.h"
#include "smtp/smtp_server_name.h"

namespace tsubame {

static_assert(MailLibrary::kHeaderBufferSize == kMailHeaderBufferSize);
static_assert(MailLibrary::kAttachmentCannotOpen == kDecodeAttachmentCannotOpen);
static_assert(MailLibrary::kAttachmentPartsMissing == kDecodeAttachmentPartsMissing);
namespace {

constexpr std::size_t kHeaderLimit = MailLibrary::kHeaderBufferSize - 1;

std::string_view orEmpty(const char* text) { return text == nullptr ? std::string_view() : text; }

std::string cutForHeaderBuffer(std::string_view text) {
    std::string_view cut = text.substr(0, cp932SafeCut(text, kHeaderLimit));
    // Never split a CR LF pair.
    if (cut.size() < text.size() && cut.ends_with('\r')) cut.remove_suffix(1);
    return std::string(cut);
}

// Texts of the helpers are UTF-8; one that is not is taken as code page 932 already.
std::string helperTextToCp932(std::string_view text) {
    return isValidUtf8(text) ? utf8ToCp932(text) : std::string(text);
}

std::vector<std::string> splitAttachmentList(std::string_view list) {
    std::vector<std::string> paths;
    while (!list.empty()) {
        std::size_t comma = list.find(',');
        std::string_view piece = trimBlanks(list.substr(0, comma));
        // Kept as given: the message builder converts each path itself.
        if (!piece.empty()) paths.emplace_back(piece);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
    return paths;
}

// The failure text of this thread's last failed call: the check and a send run on threads of
// their own, and the text of one must never reach the other.
std::string& lastError() {
    thread_local std::string text;
    return text;
}

// The TLS problem of this thread's last failed call, beside its failure text.
MailLibrary::TlsProblem& lastTlsProblem() {
    thread_local MailLibrary::TlsProblem problem;
    return problem;
}

void noteTlsProblem(const NetTlsProblem& from) {
    MailLibrary::TlsProblem& to = lastTlsProblem();
    to = {};
    if (from.kind == NetTlsProblem::Kind::None) return;
    to.kind = from.kind == NetTlsProblem::Kind::NoTls
                  ? MailLibrary::TlsProblem::Kind::NoTls
                  : MailLibrary::TlsProblem::Kind::UntrustedCertificate;
    to.server = from.server;
    to.plainName = from.plainName;
    to.fingerprint = from.certificate.fingerprint;
    to.subject = from.certificate.subject;
    to.issuer = from.certificate.issuer;
    to.notBefore = from.certificate.notBefore;
    to.notAfter = from.certificate.notAfter;
    to.reason = from.reason;
    to.changed = from.changed;
}

bool pipeliningAllowed() {
    const char* value = std::getenv("TSUBAME_POP3_PIPELINING");
    return value == nullptr || std::strcmp(value, "0") != 0;
}

struct Pop3Session {
    Pop3Client client;
    std::set<int> failedFetches;
    explicit Pop3Session(Pop3Tuning tuning) : client(tuning) {}
};

class NMailLibrary : public MailLibrary {
  public:
    int NMailInitializeWinSock() override { return 1; }
    int NMailSetOption(int, int) override { return 1; }
    int NMailEndWinSock() override {
        // Dropping a connection without QUIT leaves every mail on the server.
        sessions_.clear();
        return 1;
    }

    int NMailPop3Connect(const char* server) override {
        ServerAddress address;
        if (Status s = parseServerName(orEmpty(server), "pop3", "pop3s", 110, 995, address); !s) {
            return failure("POP3サーバーに接続できません: " + s.message());
        }
        Pop3Tuning tuning;
        tuning.allowPipelining = pipeliningAllowed();
        tuning.interrupt = &receiving_;
        tuning.trustedFingerprint = trustedFor(describeAddress(address));
        auto session = std::make_unique<Pop3Session>(tuning);
        if (Status s = session->client.connect(address, networkTimeout()); !s) {
            failure(s.message());
            noteTlsProblem(session->client.tlsProblem());
            return -1;
        }
        int handle = nextHandle_++;
        sessions_[handle] = std::move(session);
        return handle;
    }

    int NMailPop3Authenticate(int handle, const char* id, const char* password, int apop) override {
        Pop3Session* session = find(handle);
        if (session == nullptr) return -1;
        if (Status s = session->client.login(orEmpty(id), orEmpty(password), apop != 0); !s) {
            failure(s.message());
            noteTlsProblem(session->client.tlsProblem());
            return session->client.mailboxBusy() ? kMailboxBusy : -1;
        }
        return session->client.count();
    }

    int NMailPop3GetMailStatus(int handle, int mailNo, std::string& subject, std::string& date,
                               std::string& from, std::string& header, int) override {
        subject.clear();
        date.clear();
        from.clear();
        header.clear();
        const Pop3Mail* mail = fetch(handle, mailNo);
        if (mail == nullptr) return -1;
        DecodedHeaders decoded = decodeHeaders(mail->header());
        subject = cutForHeaderBuffer(decoded.subject);
        date = cutForHeaderBuffer(decoded.date);
        from = cutForHeaderBuffer(decoded.from);
        header = rememberHeader(mail->header());
        return 1;
    }

    int NMailPop3GetMailSize(int handle, int mailNo) override {
        Pop3Session* session = find(handle);
        if (session == nullptr) return -1;
        long long size = session->client.size(mailNo);
        if (size < 0) return failure("メール番号 " + std::to_string(mailNo) + " はありません");
        return size > INT32_MAX ? INT32_MAX : static_cast<int>(size);
    }

    int NMailPop3GetMail(int handle, int mailNo, std::string& subject, std::string& date,
                         std::string& from, std::string& header, std::string& body, const char*,
                         const char*) override {
        body.clear();
        const Pop3Mail* mail = nullptr;
        const int result = getMail(handle, mailNo, subject, date, from, header, mail);
        if (mail != nullptr) body.assign(mail->body());
        return result;
    }

    int NMailPop3GetMailView(int handle, int mailNo, std::string& subject, std::string& date,
                             std::string& from, std::string& header, std::string_view& rawHeader,
                             std::string_view& body) override {
        const Pop3Mail* mail = nullptr;
        const int result = getMail(handle, mailNo, subject, date, from, header, mail);
        rawHeader = mail != nullptr ? mail->header() : std::string_view();
        body = mail != nullptr ? mail->body() : std::string_view();
        return result;
    }

    int NMailAttachmentFileFirst(int, std::string& subject, std::string& date, std::string& from,
                                 std::string& header, std::string& body, const char* folder,
                                 const char*, const char* rawMail, int) override {
        std::vector<std::filesystem::path> saved;
        return decode(subject, date, from, header, body,
                      std::filesystem::path(cp932ToUtf8(orEmpty(folder))), orEmpty(rawMail), saved);
    }

    int NMailAttachmentFileFirstLength(std::string& subject, std::string& date, std::string& from,
                                       std::string& header, std::string& body,
                                       const std::filesystem::path& folder,
                                       std::string_view rawMail,
                                       std::vector<std::filesystem::path>& savedFiles) override {
        return decode(subject, date, from, header, body, folder, rawMail, savedFiles);
    }

    int NMailAttachmentFileFirstBodyStart(std::string& subject, std::string& date,
                                          std::string& from, std::string& header, std::string& body,
                                          const std::filesystem::path& folder,
                                          std::string_view rawMail,
                                          std::vector<std::filesystem::path>& savedFiles,
                                          std::size_t bodyLimit, DecodeDetails* details) override {
        // Its callers pass the whole header, so no remembered header is put back: the call
        // reads nothing another call wrote and may run beside them.
        return decode(subject, date, from, header, body, folder, rawMail, savedFiles, bodyLimit,
                      details, false);
    }

    int NMailAttachmentFileClose(int) override { return 1; }
    // The start-of-body decoding works on what each call is given (see above); its failure
    // text is the thread's own.
    bool decodesBesideOtherCalls() override {
        prepareParsingOnThreads();
        return true;
    }

    void NMailPop3WatchDownload(int handle, DownloadProgress* progress) override {
        // Looked up without find(): an unknown handle is no failure worth a text here.
        if (auto it = sessions_.find(handle); it != sessions_.end())
            it->second->client.watchDownload(progress);
    }

    int NMailPop3DeleteMail(int handle, int mailNo) override {
        Pop3Session* session = find(handle);
        if (session == nullptr) return -1;
        // A mail that could not be downloaded must stay on the server.
        if (session->failedFetches.contains(mailNo)) {
            return failure("メール " + std::to_string(mailNo) +
                           " は受信できなかったため、サーバーから削除しません");
        }
        if (Status s = session->client.markDeleted(mailNo); !s) return failure(s.message());
        return 1;
    }

    int NMailPop3Close(int handle) override {
        auto it = sessions_.find(handle);
        if (it == sessions_.end()) return failure("POP3の接続番号が正しくありません");
        std::unique_ptr<Pop3Session> session = std::move(it->second);
        sessions_.erase(it);
        if (Status s = session->client.quit(); !s) return failure(s.message());
        return 1;
    }

    int NMailPop3Abort(int handle) override {
        // Closing the socket without QUIT: the server never enters its update state.
        if (sessions_.erase(handle) == 0) return failure("POP3の接続番号が正しくありません");
        return 1;
    }

    int NMailSmtpSendMail(const char* server, const char* to, const char* cc, const char* bcc,
                          const char* from, const char* subject, const char* body,
                          const char* header, const char* path, int) override {
        return send(
            outgoing(server, to, cc, bcc, from, subject, body, header, path, MailTextForm::Cp932));
    }

    int NMailSmtpSendMailUtf8(const char* server, const char* to, const char* cc, const char* bcc,
                              const char* from, const char* subject, const char* body,
                              const char* header, const char* path, int) override {
        return send(
            outgoing(server, to, cc, bcc, from, subject, body, header, path, MailTextForm::Utf8));
    }

    int NMailGetMessage(int, std::string& buffer, int& size) override {
        return giveMessage(lastError(), buffer, size);
    }

    void interrupt(Work work) override {
        if (static_cast<int>(work) & static_cast<int>(Work::Receiving)) receiving_.raise();
        if (static_cast<int>(work) & static_cast<int>(Work::Sending)) sending_.raise();
    }

    void resume(Work work) override {
        if (static_cast<int>(work) & static_cast<int>(Work::Receiving)) receiving_.clear();
        if (static_cast<int>(work) & static_cast<int>(Work::Sending)) sending_.clear();
    }

    TlsProblem NMailLastTlsProblem() override { return lastTlsProblem(); }

    void NMailSetTrustedCertificates(const std::map<std::string, std::string>& trusted) override {
        std::lock_guard lock(trustedMutex_);
        trusted_ = trusted;
    }

    void NMailSetSmtpLogin(const char* id, const char* password) override {
        smtpUser_ = orEmpty(id);
        smtpPassword_ = orEmpty(password);
    }

    std::string NMailPop3GetUidl(int handle, int mailNo) override {
        Pop3Session* session = find(handle);
        return session == nullptr ? std::string() : session->client.uidl(mailNo);
    }

  private:
    OutgoingMail outgoing(const char* server, const char* to, const char* cc, const char* bcc,
                          const char* from, const char* subject, const char* body,
                          const char* header, const char* path, MailTextForm form) const {
        OutgoingMail mail;
        mail.server = orEmpty(server);
        mail.to = orEmpty(to);
        mail.cc = orEmpty(cc);
        mail.bcc = orEmpty(bcc);
        mail.from = orEmpty(from);
        mail.subject = orEmpty(subject);
        mail.body = orEmpty(body);
        mail.extraHeaders = orEmpty(header);
        mail.attachments = splitAttachmentList(orEmpty(path));
        mail.userId = smtpUser_;
        mail.password = smtpPassword_;
        mail.textForm = form;
        return mail;
    }

    int send(OutgoingMail mail) {
        std::string error;
        if (std::optional<SmtpServerName> server = parseSmtpServerName(mail.server)) {
            ServerAddress address{server->host, server->port, false, false};
            mail.trustedFingerprint = trustedFor(describeAddress(address));
        }
        NetTlsProblem problem;
        int result = sendMail(mail, error, &sending_, &problem);
        noteTlsProblem(problem);
        // The sender's texts say what failed themselves; the lead is for a failure without one.
        if (result < 0)
            lastError() =
                error.empty() ? utf8ToCp932("メールを送信できません") : helperTextToCp932(error);
        return result;
    }

    int decode(std::string& subject, std::string& date, std::string& from, std::string& header,
               std::string& body, const std::filesystem::path& folder, std::string_view rawMail,
               std::vector<std::filesystem::path>& saved,
               std::size_t bodyLimit = std::string_view::npos, DecodeDetails* details = nullptr,
               bool restoreHeader = true) {
        saved.clear();
        std::string restored;
        const std::string_view raw = restoreHeader ? restoreFullHeader(rawMail, restored) : rawMail;
        DecodedMail decoded;
        std::string error;
        int result = decodeMailAndSaveAttachments(raw, folder, decoded, error, &saved, bodyLimit);
        subject = cutForHeaderBuffer(decoded.headers.subject);
        date = cutForHeaderBuffer(decoded.headers.date);
        from = cutForHeaderBuffer(decoded.headers.from);
        header = cutForHeaderBuffer(decoded.header);
        body = std::move(decoded.body);
        if (details != nullptr) {
            details->lossy = decoded.lossy;
            details->subject = std::move(decoded.utf8Headers.subject);
            details->date = std::move(decoded.utf8Headers.date);
            details->from = std::move(decoded.utf8Headers.from);
            details->body = std::move(decoded.utf8Body);
        }
        if (result < 0) {
            std::string lead = result == kAttachmentCannotOpen ? "添付ファイルを保存できません"
                               : result == kAttachmentPartsMissing
                                   ? "分割されたメールが全て揃っていません"
                                   : "メールを解読できません";
            lastError() = utf8ToCp932(lead);
            if (!error.empty()) lastError() += utf8ToCp932(": ") + helperTextToCp932(error);
        }
        return result;
    }

    // The downloaded mail for GetMail and GetMailView: subject, date and from come back empty,
    // header with the header cut to the buffer's limit.
    int getMail(int handle, int mailNo, std::string& subject, std::string& date, std::string& from,
                std::string& header, const Pop3Mail*& mail) {
        subject.clear();
        date.clear();
        from.clear();
        header.clear();
        mail = fetch(handle, mailNo);
        if (mail == nullptr) {
            // Tell a mail the server would not hand out from a connection that is gone.
            const auto it = sessions_.find(handle);
            const bool lost = it != sessions_.end() && it->second->client.connectionBroken();
            return lost ? kConnectionLost : -1;
        }
        header = rememberHeader(mail->header());
        return 1;
    }

    int failure(const std::string& utf8Message) {
        lastError() = utf8ToCp932(utf8Message);
        lastTlsProblem() = {};
        return -1;
    }

    std::string trustedFor(const std::string& server) {
        std::lock_guard lock(trustedMutex_);
        const auto it = trusted_.find(server);
        return it == trusted_.end() ? std::string() : it->second;
    }

    Pop3Session* find(int handle) {
        auto it = sessions_.find(handle);
        if (it == sessions_.end()) {
            failure("POP3の接続番号が正しくありません");
            return nullptr;
        }
        return it->second.get();
    }

    const Pop3Mail* fetch(int handle, int mailNo) {
        Pop3Session* session = find(handle);
        if (session == nullptr) return nullptr;
        const Pop3Mail* mail = nullptr;
        if (Status s = session->client.fetch(mailNo, mail); !s) {
            session->failedFetches.insert(mailNo);
            failure(s.message());
            return nullptr;
        }
        session->failedFetches.erase(mailNo);
        return mail;
    }

    // The header buffer holds 8191 bytes; a longer header is cut there. The cut and the
    // whole header are kept so that decoding the mail rebuilt from the buffers can still
    // see the whole header (MIME fields often sit past the cut in long headers).
    std::string rememberHeader(std::string_view fullHeader) {
        std::string cut = cutForHeaderBuffer(fullHeader);
        if (cut.size() < fullHeader.size()) {
            cutHeader_ = cut;
            fullHeader_.assign(fullHeader);
        } else {
            cutHeader_.clear();
            fullHeader_.clear();
        }
        return cut;
    }

    // A mail that already carries the whole header is taken as it is, without a copy.
    std::string_view restoreFullHeader(std::string_view rawMail, std::string& storage) const {
        if (cutHeader_.empty() || !rawMail.starts_with(cutHeader_) ||
            rawMail.starts_with(fullHeader_))
            return rawMail;
        // What follows the cut is the line end the caller added, standing for the blank line.
        storage = fullHeader_;
        storage.append(rawMail.substr(cutHeader_.size()));
        return storage;
    }

    // Before the sessions, whose connections watch receiving_.
    NetInterrupt receiving_;
    NetInterrupt sending_;
    std::map<int, std::unique_ptr<Pop3Session>> sessions_;
    int nextHandle_ = 1;
    std::mutex trustedMutex_;
    std::map<std::string, std::string> trusted_;  // server "host:port" to SHA-256
    std::string smtpUser_;
    std::string smtpPassword_;
    std::string cutHeader_;
    std::string fullHeader_;
};

}  // namespace

std::unique_ptr<MailLibrary> createMailLibrary() { return std::make_unique<NMailLibrary>(); }

}  // namespace tsubame
