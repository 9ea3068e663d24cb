#include "maillib/forwarding_mail_library.h"

namespace tsubame {

int ForwardingMailLibrary::NMailInitializeWinSock() {
    return pass([&](MailLibrary& library) { return library.NMailInitializeWinSock(); });
}

int ForwardingMailLibrary::NMailSetOption(int option, int value) {
    return pass([&](MailLibrary& library) { return library.NMailSetOption(option, value); });
}

int ForwardingMailLibrary::NMailEndWinSock() {
    return pass([&](MailLibrary& library) { return library.NMailEndWinSock(); });
}

int ForwardingMailLibrary::NMailPop3Connect(const char* server) {
    return pass([&](MailLibrary& library) { return library.NMailPop3Connect(server); });
}

int ForwardingMailLibrary::NMailPop3Authenticate(int handle, const char* id, const char* password,
                                                 int apop) {
    return pass([&](MailLibrary& library) {
        return library.NMailPop3Authenticate(handle, id, password, apop);
    });
}

int ForwardingMailLibrary::NMailPop3GetMailStatus(int handle, int mailNo, std::string& subject,
                                                  std::string& date, std::string& from,
                                                  std::string& header, int flag) {
    return pass([&](MailLibrary& library) {
        return library.NMailPop3GetMailStatus(handle, mailNo, subject, date, from, header, flag);
    });
}

int ForwardingMailLibrary::NMailPop3GetMailSize(int handle, int mailNo) {
    return pass([&](MailLibrary& library) { return library.NMailPop3GetMailSize(handle, mailNo); });
}

int ForwardingMailLibrary::NMailPop3GetMail(int handle, int mailNo, std::string& subject,
                                            std::string& date, std::string& from,
                                            std::string& header, std::string& body,
                                            const char* path, const char* fileName) {
    return pass([&](MailLibrary& library) {
        return library.NMailPop3GetMail(handle, mailNo, subject, date, from, header, body, path,
                                        fileName);
    });
}

int ForwardingMailLibrary::NMailPop3GetMailView(int handle, int mailNo, std::string& subject,
                                                std::string& date, std::string& from,
                                                std::string& header, std::string_view& rawHeader,
                                                std::string_view& body) {
    return pass([&](MailLibrary& library) {
        return library.NMailPop3GetMailView(handle, mailNo, subject, date, from, header, rawHeader,
                                            body);
    });
}

int ForwardingMailLibrary::NMailAttachmentFileFirst(int hwnd, std::string& subject,
                                                    std::string& date, std::string& from,
                                                    std::string& header, std::string& body,
                                                    const char* folder, const char* fileName,
                                                    const char* rawMail, int flag) {
    return pass([&](MailLibrary& library) {
        return library.NMailAttachmentFileFirst(hwnd, subject, date, from, header, body, folder,
                                                fileName, rawMail, flag);
    });
}

int ForwardingMailLibrary::NMailAttachmentFileClose(int hwnd) {
    return pass([&](MailLibrary& library) { return library.NMailAttachmentFileClose(hwnd); });
}

bool ForwardingMailLibrary::decodesBesideOtherCalls() {
    return pass([](MailLibrary& library) { return library.decodesBesideOtherCalls() ? 1 : 0; }) ==
           1;
}

int ForwardingMailLibrary::NMailAttachmentFileFirstLength(
    std::string& subject, std::string& date, std::string& from, std::string& header,
    std::string& body, const std::filesystem::path& folder, std::string_view rawMail,
    std::vector<std::filesystem::path>& savedFiles) {
    savedFiles.clear();  // none saved, also when the call cannot be passed on
    return pass([&](MailLibrary& library) {
        return library.NMailAttachmentFileFirstLength(subject, date, from, header, body, folder,
                                                      rawMail, savedFiles);
    });
}

int ForwardingMailLibrary::NMailAttachmentFileFirstBodyStart(
    std::string& subject, std::string& date, std::string& from, std::string& header,
    std::string& body, const std::filesystem::path& folder, std::string_view rawMail,
    std::vector<std::filesystem::path>& savedFiles, std::size_t bodyLimit, DecodeDetails* details) {
    savedFiles.clear();  // none saved, also when the call cannot be passed on
    if (details != nullptr) *details = {};
    return pass([&](MailLibrary& library) {
        return library.NMailAttachmentFileFirstBodyStart(subject, date, from, header, body, folder,
                                                         rawMail, savedFiles, bodyLimit, details);
    });
}

int ForwardingMailLibrary::NMailPop3DeleteMail(int handle, int mailNo) {
    return pass([&](MailLibrary& library) { return library.NMailPop3DeleteMail(handle, mailNo); });
}

int ForwardingMailLibrary::NMailPop3Close(int handle) {
    return pass([&](MailLibrary& library) { return library.NMailPop3Close(handle); });
}

int ForwardingMailLibrary::NMailPop3Abort(int handle) {
    return pass([&](MailLibrary& library) { return library.NMailPop3Abort(handle); });
}

int ForwardingMailLibrary::NMailSmtpSendMail(const char* server, const char* to, const char* cc,
                                             const char* bcc, const char* from, const char* subject,
                                             const char* body, const char* header, const char* path,
                                             int flag) {
    return pass([&](MailLibrary& library) {
        return library.NMailSmtpSendMail(server, to, cc, bcc, from, subject, body, header, path,
                                         flag);
    });
}

int ForwardingMailLibrary::NMailSmtpSendMailUtf8(const char* server, const char* to, const char* cc,
                                                 const char* bcc, const char* from,
                                                 const char* subject, const char* body,
                                                 const char* header, const char* path, int flag) {
    return pass([&](MailLibrary& library) {
        return library.NMailSmtpSendMailUtf8(server, to, cc, bcc, from, subject, body, header, path,
                                             flag);
    });
}

int ForwardingMailLibrary::NMailGetMessage(int hwnd, std::string& buffer, int& size) {
    return pass([&](MailLibrary& library) { return library.NMailGetMessage(hwnd, buffer, size); });
}

void ForwardingMailLibrary::NMailSetSmtpLogin(const char* id, const char* password) {
    pass([&](MailLibrary& library) {
        library.NMailSetSmtpLogin(id, password);
        return 0;
    });
}

std::string ForwardingMailLibrary::NMailPop3GetUidl(int handle, int mailNo) {
    std::string result;
    pass([&](MailLibrary& library) {
        result = library.NMailPop3GetUidl(handle, mailNo);
        return 0;
    });
    return result;
}

MailLibrary::TlsProblem ForwardingMailLibrary::NMailLastTlsProblem() {
    TlsProblem problem;
    pass([&](MailLibrary& library) {
        problem = library.NMailLastTlsProblem();
        return 0;
    });
    return problem;
}

void ForwardingMailLibrary::NMailSetTrustedCertificates(
    const std::map<std::string, std::string>& trusted) {
    pass([&](MailLibrary& library) {
        library.NMailSetTrustedCertificates(trusted);
        return 0;
    });
}

void ForwardingMailLibrary::NMailPop3WatchDownload(int handle, DownloadProgress* progress) {
    pass([&](MailLibrary& library) {
        library.NMailPop3WatchDownload(handle, progress);
        return 0;
    });
}

}  // namespace tsubame
