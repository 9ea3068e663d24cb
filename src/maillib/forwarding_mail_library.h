#pragma once

#include <functional>

#include "maillib/mail_library.h"

namespace tsubame {

// A mail library that passes every call on to another one, through pass(): a subclass decides
// what surrounds each call (a lock, loading the library first) and can take over single calls.
// interrupt() and resume() must not wait for pass(): each subclass passes them on itself.
class ForwardingMailLibrary : public MailLibrary {
  public:
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
    int NMailPop3GetMailView(int handle, int mailNo, std::string& subject, std::string& date,
                             std::string& from, std::string& header, std::string_view& rawHeader,
                             std::string_view& body) override;
    int NMailAttachmentFileFirst(int hwnd, std::string& subject, std::string& date,
                                 std::string& from, std::string& header, std::string& body,
                                 const char* folder, const char* fileName, const char* rawMail,
                                 int flag) override;
    int NMailAttachmentFileClose(int hwnd) override;
    bool decodesBesideOtherCalls() override;
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
    TlsProblem NMailLastTlsProblem() override;
    void NMailSetTrustedCertificates(const std::map<std::string, std::string>& trusted) override;
    void NMailPop3WatchDownload(int handle, DownloadProgress* progress) override;

  protected:
    // Runs call on the library the calls go to and gives its result; -1 when there is none.
    virtual int pass(const std::function<int(MailLibrary&)>& call) = 0;
};

}  // namespace tsubame
