#include "support/scripted_mail_library.h"

#include <algorithm>
#include <cstdint>

#include "core/cp932.h"
#include "maillib/module/nmail.h"
#include "support/pop3_test_helpers.h"

namespace tsubame::testing {

namespace {
std::string text(const char* s) { return s ? s : ""; }
}  // namespace

namespace {

// A header text as a mail carries it: an encoded word when it is not plain ASCII.
std::string headerValue(std::string_view cp932) {
    const bool ascii = std::all_of(cp932.begin(), cp932.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii ? std::string(cp932) : "=?Shift_JIS?B?" + base64Encode(cp932) + "?=";
}

constexpr const char* kTextPart =
    "Content-Type: text/plain; charset=Shift_JIS\r\n"
    "Content-Transfer-Encoding: 8bit";

}  // namespace

ScriptedMailLibrary::ScriptedMailLibrary() : decoder_(createMailLibrary()) {}
ScriptedMailLibrary::~ScriptedMailLibrary() = default;

void ScriptedMailLibrary::addMail(const std::string& subject, const std::string& from,
                                  const std::string& date, const std::string& body,
                                  int attachmentResult) {
    const std::string number = std::to_string(mailbox.size() + 1);
    Mail m;
    m.rawHeader = "Subject: " + headerValue(subject) + "\r\nFrom: " + headerValue(from) +
                  "\r\nDate: " + date + "\r\nMIME-Version: 1.0\r\n";
    if (attachmentResult == kAttachmentPartsMissing) {
        m.rawHeader +=
            "Content-Type: message/partial; id=\"scripted-" + number + "\"; number=1; total=2";
        m.rawBody = body;
    } else if (attachmentResult == 1 || attachmentResult == kAttachmentCannotOpen) {
        m.rawHeader += "Content-Type: multipart/mixed; boundary=\"scripted\"";
        m.rawBody = "--scripted\r\n" + std::string(kTextPart) + "\r\n\r\n" + body +
                    "\r\n--scripted\r\nContent-Type: application/octet-stream\r\n"
                    "Content-Disposition: attachment; filename=\"attached" +
                    number + ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                    base64Encode("attached " + number) + "\r\n--scripted--\r\n";
    } else {
        m.rawHeader += kTextPart;
        m.rawBody = body;
    }
    m.subject = subject;
    m.from = from;
    m.date = date;
    m.body = body;
    m.attachmentResult = attachmentResult;
    m.uidl = "uid-" + number + "-" + subject;
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

std::filesystem::path ScriptedMailLibrary::decodeFolder(std::string_view rawMail,
                                                        const std::filesystem::path& folder) const {
    for (const Mail& m : mailbox)
        if (m.attachmentResult == kAttachmentCannotOpen && rawMail.starts_with(m.rawHeader))
            return folder / "scripted-folder-that-is-not-there";
    return folder;
}

int ScriptedMailLibrary::decoded(int result) {
    if (result < 0) {
        std::string text;
        int size = kHeaderBufferSize;
        decoder_->NMailGetMessage(0, text, size);
        lastError_ = text;
    }
    return result;
}

int ScriptedMailLibrary::NMailAttachmentFileFirst(int hwnd, std::string& subject, std::string& date,
                                                  std::string& from, std::string& header,
                                                  std::string& body, const char* folder,
                                                  const char* fileName, const char* rawMail,
                                                  int flag) {
    calls.push_back("AttachmentFileFirst");
    const std::string folderText =
        utf8ToCp932((decodeFolder(text(rawMail), cp932ToUtf8(text(folder))) / "").string());
    return decoded(decoder_->NMailAttachmentFileFirst(hwnd, subject, date, from, header, body,
                                                      folderText.c_str(), fileName, rawMail, flag));
}

int ScriptedMailLibrary::NMailAttachmentFileFirstLength(
    std::string& subject, std::string& date, std::string& from, std::string& header,
    std::string& body, const std::filesystem::path& folder, std::string_view rawMail,
    std::vector<std::filesystem::path>& savedFiles) {
    calls.push_back("AttachmentFileFirst");
    return decoded(decoder_->NMailAttachmentFileFirstLength(
        subject, date, from, header, body, decodeFolder(rawMail, folder), rawMail, savedFiles));
}

int ScriptedMailLibrary::NMailAttachmentFileFirstBodyStart(
    std::string& subject, std::string& date, std::string& from, std::string& header,
    std::string& body, const std::filesystem::path& folder, std::string_view rawMail,
    std::vector<std::filesystem::path>& savedFiles, std::size_t bodyLimit, DecodeDetails* details) {
    calls.push_back("AttachmentFileFirst");
    return decoded(decoder_->NMailAttachmentFileFirstBodyStart(
        subject, date, from, header, body, decodeFolder(rawMail, folder), rawMail, savedFiles,
        bodyLimit, details));
}

int ScriptedMailLibrary::NMailAttachmentFileClose(int hwnd) {
    calls.push_back("AttachmentFileClose");
    return decoder_->NMailAttachmentFileClose(hwnd);
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

void ScriptedMailLibrary::addJapaneseMail(const std::string& subject, const std::string& body,
                                          int attachmentResult) {
    addMail(utf8ToCp932(subject), "sender@example.jp", "Mon, 7 Dec 2026 09:00:00 +0900",
            utf8ToCp932(body), attachmentResult);
}

void ScriptedMailLibrary::addJapaneseMails(int count) {
    for (int i = 1; i <= count; ++i)
        addJapaneseMail("件名" + std::to_string(i), "本文" + std::to_string(i));
}

}  // namespace tsubame::testing
