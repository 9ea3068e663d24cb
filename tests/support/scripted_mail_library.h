#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "maillib/mail_library.h"

namespace tsubame::testing {

// A mail library that plays a scripted POP3 mailbox and records every send: it fakes the
// network, not the decoder. Its decoding calls are the real library's, so a check decodes the
// mailbox's raw mails as the program does. Texts are code page 932 like the real library's.
// Marks take effect only at a Close.
class ScriptedMailLibrary : public MailLibrary {
  public:
    struct Mail {
        std::string rawHeader;
        std::string rawBody;
        // What the mailbox lists and what decoding the raw mail gives.
        std::string subject;
        std::string date;
        std::string from;
        std::string body;
        // 1: the mail has an attachment; kAttachmentPartsMissing: it is one part of a split
        // mail; kAttachmentCannotOpen: it has an attachment the disk refuses (its decoding
        // gets a folder that cannot be written).
        int attachmentResult = 0;
        std::string uidl;
    };

    ScriptedMailLibrary();
    ~ScriptedMailLibrary() override;
    struct SentMail {
        std::string server, to, from, subject, body, path;
        bool ccNull = false, bccNull = false, headerNull = false, pathNull = false;
        int flag = 0;
        // Sent through the UTF-8 call: the texts above are its code page 932 reading (what the
        // described call would have carried); these are the texts as they were handed over.
        bool utf8Call = false;
        std::string utf8To, utf8Subject, utf8Body;
    };

    // The scripted mailbox (mails stay until a Close commits their marks).
    std::vector<Mail> mailbox;
    // Failure switches.
    bool connectFails = false;
    int loginResult = 0;                       // < 0: the login fails with this result
    int fetchFailsAt = 0;                      // mail number whose fetch fails (0: none)
    bool fetchFailureLosesConnection = false;  // that failure is kConnectionLost
    bool connectionDropsAtClose = false;       // Close fails and deletes nothing
    std::deque<int> sendResults;               // results of the next sends (default 1)
    std::string errorText = "scripted failure";

    // What happened.
    std::vector<std::string> calls;  // "Connect host", "Authenticate id pass -1", "GetMail 2" ...
    std::vector<SentMail> sent;
    std::vector<int> marked;  // mail numbers marked in the open connection
    std::string lastAuthId, lastAuthPassword;
    int lastApop = 0;
    std::string smtpLoginId, smtpLoginPassword;
    std::function<void(int mailNo)> onDelete;  // called at every NMailPop3DeleteMail
    std::function<void(int mailNo)> onFetch;   // called at every NMailPop3GetMail
    std::function<void()> onSend;              // called at every NMailSmtpSendMail
    bool initialized = false;
    bool ended = false;
    std::vector<std::pair<int, int>> options;

    // A MIME mail with these code page 932 texts (subject, body) in Shift_JIS.
    // A mail with a Japanese subject and body given in UTF-8 (code page 932 in the mailbox).
    void addJapaneseMail(const std::string& subject, const std::string& body,
                         int attachmentResult = 0);
    // Mails "件名1"/"本文1" … count.
    void addJapaneseMails(int count);
    void dropUidls() {
        for (auto& m : mailbox) m.uidl.clear();
    }
    // The calls made so far whose record starts with prefix.
    int callsNamed(const std::string& prefix) const {
        int n = 0;
        for (const auto& call : calls) n += call.rfind(prefix, 0) == 0;
        return n;
    }
    void addMail(const std::string& subject, const std::string& from, const std::string& date,
                 const std::string& body, int attachmentResult = 0);

    int NMailInitializeWinSock() override;
    int NMailSetOption(int option, int value) override;
    int NMailEndWinSock() override;
    int NMailPop3Connect(const char* server) override;
    int NMailPop3Authenticate(int handle, const char* id, const char* password, int apop) override;
    int NMailPop3GetMailStatus(int handle, int mailNo, std::string& subject, std::string& date,
                               std::string& from, std::string& header, int flag) override;
    int NMailPop3GetMailSize(int handle, int mailNo) override;
    int NMailPop3GetMail(int handle, int mailNo, std::string& subject, std::string& date,
                         std::string& from, std::string& header, std::string& body,
                         const char* path, const char* fileName) override;
    // Recorded as "GetMail n" like the copying call: the check sees the same mail either way.
    int NMailPop3GetMailView(int handle, int mailNo, std::string& subject, std::string& date,
                             std::string& from, std::string& header, std::string_view& rawHeader,
                             std::string_view& body) override;
    int NMailAttachmentFileFirst(int hwnd, std::string& subject, std::string& date,
                                 std::string& from, std::string& header, std::string& body,
                                 const char* folder, const char* fileName, const char* rawMail,
                                 int flag) override;
    int NMailAttachmentFileFirstLength(std::string& subject, std::string& date, std::string& from,
                                       std::string& header, std::string& body,
                                       const std::filesystem::path& folder,
                                       std::string_view rawMail,
                                       std::vector<std::filesystem::path>& savedFiles) override;
    int NMailAttachmentFileFirstBodyStart(std::string& subject, std::string& date,
                                          std::string& from, std::string& header, std::string& body,
                                          const std::filesystem::path& folder,
                                          std::string_view rawMail,
                                          std::vector<std::filesystem::path>& savedFiles,
                                          std::size_t bodyLimit, DecodeDetails* details) override;
    int NMailAttachmentFileClose(int hwnd) override;
    int NMailPop3DeleteMail(int handle, int mailNo) override;
    int NMailPop3Close(int handle) override;
    int NMailPop3Abort(int handle) override;
    int NMailSmtpSendMail(const char* server, const char* to, const char* cc, const char* bcc,
                          const char* from, const char* subject, const char* body,
                          const char* header, const char* path, int flag) override;
    int NMailSmtpSendMailUtf8(const char* server, const char* to, const char* cc, const char* bcc,
                              const char* from, const char* subject, const char* body,
                              const char* header, const char* path, int flag) override;
    int NMailGetMessage(int hwnd, std::string& buffer, int& size) override;
    void NMailSetSmtpLogin(const char* id, const char* password) override;
    std::string NMailPop3GetUidl(int handle, int mailNo) override;
    void interrupt(Work work) override { interrupted |= static_cast<int>(work); }
    void resume(Work work) override { interrupted &= ~static_cast<int>(work); }
    std::atomic<int> interrupted = 0;  // the Work bits interrupted and not resumed

  private:
    int recordSend(SentMail sentMail);
    const Mail* mail(int mailNo) const;
    // The folder the decoder gets for rawMail: one that cannot be written for a mail scripted
    // with kAttachmentCannotOpen.
    std::filesystem::path decodeFolder(std::string_view rawMail,
                                       const std::filesystem::path& folder) const;
    int decoded(int result);

    std::unique_ptr<MailLibrary> decoder_;  // the real library
    bool open_ = false;
    std::string lastError_;
};

}  // namespace tsubame::testing
