#include "support/scripted_mail_library.h"

#include <algorithm>

#include "core/cp932.h"

namespace tsubame::testing {

namespace {
std::string text(const char* s) { return s ? s : ""; }
}  // namespace

void ScriptedMailLibrary::addMail(const std::string& subject, const std::string& from,
                                  const std::string& date, const std::string& body,
                                  int attachmentResult) {
    Mail m;
    m.rawHeader = "Subject: " + subject + "\r\nFrom: " + from + "\r\nDate: " + date;
    m.rawBody = body;
    m.subject = subject;
    m.from = from;
    m.date = date;
    m.body = body;
    m.attachmentResult = attachmentResult;
    m.uidl = "uid-" + std::to_string(mailbox.size() + 1) + "-" + subject;
    mailbox.push_back(std::move(m));
}

const ScriptedMailLibrary::Mail* ScriptedMailLibrary::mail(int mailNo) const {
    if (!open_ || mailNo < 1 || mailNo > static_cast<int>(mailbox.size())) return nullptr;
    return &mailbox[static_cast<std::size_t>(mailNo - 1)];
}

int ScriptedMailLibrary::NMailInitializeWinSock() {
    calls.push_back("InitializeWinSock");
    initialized = true;
    return 1;
}

int ScriptedMailLibrary::NMailSetOption(int option, int value) {
    calls.push_back("SetOption " + std::to_string(option) + " " + std::to_string(value));
    options.emplace_back(option, value);
    return 1;
}

int ScriptedMailLibrary::NMailEndWinSock() {
    calls.push_back("EndWinSock");
    ended = true;
    return 1;
}

int ScriptedMailLibrary::NMailPop3Connect(const char* server) {
    calls.push_back("Connect " + text(server));
    if (connectFails) {
        lastError_ = errorText;
        return -1;
    }
    open_ = true;
    marked.clear();
    return 7;
}

int ScriptedMailLibrary::NMailPop3Authenticate(int, const char* id, const char* password,
                                               int apop) {
    calls.push_back("Authenticate " + text(id) + " " + text(password) + " " + std::to_string(apop));
    lastAuthId = text(id);
    lastAuthPassword = text(password);
    lastApop = apop;
    if (loginResult < 0) {
        lastError_ = errorText;
        return loginResult;
    }
    return static_cast<int>(mailbox.size());
}

int ScriptedMailLibrary::NMailPop3GetMailStatus(int, int mailNo, std::string& subject,
                                                std::string& date, std::string& from,
                                                std::string& header, int) {
    calls.push_back("GetMailStatus " + std::to_string(mailNo));
    const Mail* m = mail(mailNo);
    if (!m) return -1;
    subject = m->subject;
    date = m->date;
    from = m->from;
    header = m->rawHeader;
    return 1;
}

int ScriptedMailLibrary::NMailPop3GetMailSize(int, int mailNo) {
    calls.push_back("GetMailSize " + std::to_string(mailNo));
    const Mail* m = mail(mailNo);
    return m ? static_cast<int>(m->rawHeader.size() + m->rawBody.size() + 4) : -1;
}

int ScriptedMailLibrary::NMailPop3GetMail(int, int mailNo, std::string& subject, std::string& date,
                                          std::string& from, std::string& header, std::string& body,
                                          const char*, const char*) {
    calls.push_back("GetMail " + std::to_string(mailNo));
    if (onFetch) onFetch(mailNo);
    const Mail* m = mail(mailNo);
    if (!m || mailNo == fetchFailsAt) {
        lastError_ = errorText;
        return mailNo == fetchFailsAt && fetchFailureLosesConnection ? kConnectionLost : -1;
    }
    subject = m->subject;
    date = m->date;
    from = m->from;
    header = m->rawHeader;
    body = m->rawBody;
    return 1;
}

int ScriptedMailLibrary::NMailPop3GetMailView(int handle, int mailNo, std::string& subject,
                                              std::string& date, std::string& from,
                                              std::string& header, std::string_view& rawHeader,
                                              std::string_view& body) {
    std::string copied;
    const int result =
        NMailPop3GetMail(handle, mailNo, subject, date, from, header, copied, nullptr, nullptr);
    const Mail* m = result == 1 ? mail(mailNo) : nullptr;
    rawHeader = m != nullptr ? std::string_view(m->rawHeader) : std::string_view();
    body = m != nullptr ? std::string_view(m->rawBody) : std::string_view();
    return result;
}

int ScriptedMailLibrary::NMailAttachmentFileFirst(int, std::string& subject, std::string& date,
                                                  std::string& from, std::string& header,
                                                  std::string& body, const char*, const char*,
                                                  const char* rawMail, int) {
    calls.push_back("AttachmentFileFirst");
    pendingRaw_ = text(rawMail);
    // Find the mail by its raw header, the first line of the raw text.
    for (const Mail& m : mailbox) {
        if (pendingRaw_.rfind(m.rawHeader, 0) == 0) {
            subject = m.subject;
            date = m.date;
            from = m.from;
            header = m.rawHeader;
            body = m.body;
            return m.attachmentResult;
        }
    }
    return 0;
}

int ScriptedMailLibrary::NMailAttachmentFileClose(int) {
    calls.push_back("AttachmentFileClose");
    return 1;
}

int ScriptedMailLibrary::NMailPop3DeleteMail(int, int mailNo) {
    calls.push_back("DeleteMail " + std::to_string(mailNo));
    if (onDelete) onDelete(mailNo);
    if (!mail(mailNo)) return -1;
    marked.push_back(mailNo);
    return 1;
}

int ScriptedMailLibrary::NMailPop3Close(int) {
    calls.push_back("Close");
    if (!open_) return -1;
    open_ = false;
    if (connectionDropsAtClose) {
        marked.clear();
        lastError_ = errorText;
        return -1;
    }
    std::vector<int> numbers = marked;
    std::sort(numbers.rbegin(), numbers.rend());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    for (int n : numbers) mailbox.erase(mailbox.begin() + (n - 1));
    marked.clear();
    return 1;
}

int ScriptedMailLibrary::NMailPop3Abort(int) {
    calls.push_back("Abort");
    if (!open_) return -1;
    open_ = false;
    marked.clear();
    return 1;
}

namespace {
ScriptedMailLibrary::SentMail sentMail(std::string server, std::string to, std::string from,
                                       std::string subject, std::string body, const char* cc,
                                       const char* bcc, const char* header, const char* path,
                                       int flag) {
    ScriptedMailLibrary::SentMail mail;
    mail.server = std::move(server);
    mail.to = std::move(to);
    mail.from = std::move(from);
    mail.subject = std::move(subject);
    mail.body = std::move(body);
    mail.path = text(path);
    mail.ccNull = cc == nullptr;
    mail.bccNull = bcc == nullptr;
    mail.headerNull = header == nullptr;
    mail.pathNull = path == nullptr;
    mail.flag = flag;
    return mail;
}
}  // namespace

int ScriptedMailLibrary::NMailSmtpSendMail(const char* server, const char* to, const char* cc,
                                           const char* bcc, const char* from, const char* subject,
                                           const char* body, const char* header, const char* path,
                                           int flag) {
    return recordSend(sentMail(text(server), text(to), text(from), text(subject), text(body), cc,
                               bcc, header, path, flag));
}

int ScriptedMailLibrary::NMailSmtpSendMailUtf8(const char* server, const char* to, const char* cc,
                                               const char* bcc, const char* from,
                                               const char* subject, const char* body,
                                               const char* header, const char* path, int flag) {
    SentMail mail =
        sentMail(utf8ToCp932(text(server)), utf8ToCp932(text(to)), utf8ToCp932(text(from)),
                 utf8ToCp932(text(subject)), utf8ToCp932(text(body)), cc, bcc, header, path, flag);
    mail.utf8Call = true;
    mail.utf8To = text(to);
    mail.utf8Subject = text(subject);
    mail.utf8Body = text(body);
    return recordSend(std::move(mail));
}

int ScriptedMailLibrary::recordSend(SentMail sentMail) {
    calls.push_back("SmtpSendMail " + sentMail.to);
    sent.push_back(std::move(sentMail));
    if (onSend) onSend();
    int result = 1;
    if (!sendResults.empty()) {
        result = sendResults.front();
        sendResults.pop_front();
    }
    if (result < 0) lastError_ = errorText;
    return result;
}

int ScriptedMailLibrary::NMailGetMessage(int, std::string& buffer, int& size) {
    calls.push_back("GetMessage");
    buffer = lastError_.substr(0, static_cast<std::size_t>(std::max(0, size - 1)));
    return 1;
}

void ScriptedMailLibrary::NMailSetSmtpLogin(const char* id, const char* password) {
    smtpLoginId = text(id);
    smtpLoginPassword = text(password);
}

std::string ScriptedMailLibrary::NMailPop3GetUidl(int, int mailNo) {
    const Mail* m = mail(mailNo);
    return m ? m->uidl : std::string();
}

}  // namespace tsubame::testing
