#include "context/serialized_mail_library.h"

namespace tsubame {

using Lock = std::lock_guard<std::mutex>;

int SerializedMailLibrary::NMailInitializeWinSock() {
    Lock lock(mutex_);
    return inner_.NMailInitializeWinSock();
}

int SerializedMailLibrary::NMailSetOption(int option, int value) {
    Lock lock(mutex_);
    return inner_.NMailSetOption(option, value);
}

int SerializedMailLibrary::NMailEndWinSock() {
    Lock lock(mutex_);
    return inner_.NMailEndWinSock();
}

int SerializedMailLibrary::NMailPop3Connect(const char* server) {
    Lock lock(mutex_);
    return inner_.NMailPop3Connect(server);
}

int SerializedMailLibrary::NMailPop3Authenticate(int handle, const char* id, const char* password,
                                                 int apop) {
    Lock lock(mutex_);
    return inner_.NMailPop3Authenticate(handle, id, password, apop);
}

int SerializedMailLibrary::NMailPop3GetMailStatus(int handle, int mailNo, std::string& subject,
                                                  std::string& date, std::string& from,
                                                  std::string& header, int flag) {
    Lock lock(mutex_);
    return inner_.NMailPop3GetMailStatus(handle, mailNo, subject, date, from, header, flag);
}

int SerializedMailLibrary::NMailPop3GetMailSize(int handle, int mailNo) {
    Lock lock(mutex_);
    return inner_.NMailPop3GetMailSize(handle, mailNo);
}

int SerializedMailLibrary::NMailPop3GetMail(int handle, int mailNo, std::string& subject,
                                            std::string& date, std::string& from,
                                            std::string& header, std::string& body,
                                            const char* path, const char* fileName) {
    Lock lock(mutex_);
    return inner_.NMailPop3GetMail(handle, mailNo, subject, date, from, header, body, path,
                                   fileName);
}

int SerializedMailLibrary::NMailPop3GetMailView(int handle, int mailNo, std::string& subject,
                                                std::string& date, std::string& from,
                                                std::string& header, std::string_view& rawHeader,
                                                std::string_view& body) {
    Lock lock(mutex_);
    return inner_.NMailPop3GetMailView(handle, mailNo, subject, date, from, header, rawHeader,
                                       body);
}

int SerializedMailLibrary::NMailAttachmentFileFirst(int hwnd, std::string& subject,
                                                    std::string& date, std::string& from,
                                                    std::string& header, std::string& body,
                                                    const char* folder, const char* fileName,
                                                    const char* rawMail, int flag) {
    Lock lock(mutex_);
    return inner_.NMailAttachmentFileFirst(hwnd, subject, date, from, header, body, folder,
                                           fileName, rawMail, flag);
}

int SerializedMailLibrary::NMailAttachmentFileClose(int hwnd) {
    Lock lock(mutex_);
    return inner_.NMailAttachmentFileClose(hwnd);
}

int SerializedMailLibrary::NMailPop3DeleteMail(int handle, int mailNo) {
    Lock lock(mutex_);
    return inner_.NMailPop3DeleteMail(handle, mailNo);
}

int SerializedMailLibrary::NMailPop3Close(int handle) {
    Lock lock(mutex_);
    return inner_.NMailPop3Close(handle);
}

int SerializedMailLibrary::NMailAttachmentFileFirstLength(
    std::string& subject, std::string& date, std::string& from, std::string& header,
    std::string& body, const std::filesystem::path& folder, std::string_view rawMail,
    std::vector<std::filesystem::path>& savedFiles) {
    Lock lock(mutex_);
    return inner_.NMailAttachmentFileFirstLength(subject, date, from, header, body, folder, rawMail,
                                                 savedFiles);
}

int SerializedMailLibrary::NMailAttachmentFileFirstBodyStart(
    std::string& subject, std::string& date, std::string& from, std::string& header,
    std::string& body, const std::filesystem::path& folder, std::string_view rawMail,
    std::vector<std::filesystem::path>& savedFiles, std::size_t bodyLimit) {
    Lock lock(mutex_);
    return inner_.NMailAttachmentFileFirstBodyStart(subject, date, from, header, body, folder,
                                                    rawMail, savedFiles, bodyLimit);
}

int SerializedMailLibrary::NMailSmtpSendMailUtf8(const char* server, const char* to, const char* cc,
                                                 const char* bcc, const char* from,
                                                 const char* subject, const char* body,
                                                 const char* header, const char* path, int flag) {
    Lock lock(mutex_);
    return inner_.NMailSmtpSendMailUtf8(server, to, cc, bcc, from, subject, body, header, path,
                                        flag);
}

int SerializedMailLibrary::NMailPop3Abort(int handle) {
    Lock lock(mutex_);
    return inner_.NMailPop3Abort(handle);
}

int SerializedMailLibrary::NMailSmtpSendMail(const char* server, const char* to, const char* cc,
                                             const char* bcc, const char* from, const char* subject,
                                             const char* body, const char* header, const char* path,
                                             int flag) {
    Lock lock(mutex_);
    return inner_.NMailSmtpSendMail(server, to, cc, bcc, from, subject, body, header, path, flag);
}

int SerializedMailLibrary::NMailGetMessage(int hwnd, std::string& buffer, int& size) {
    Lock lock(mutex_);
    return inner_.NMailGetMessage(hwnd, buffer, size);
}

void SerializedMailLibrary::NMailSetSmtpLogin(const char* id, const char* password) {
    Lock lock(mutex_);
    inner_.NMailSetSmtpLogin(id, password);
}

std::string SerializedMailLibrary::NMailPop3GetUidl(int handle, int mailNo) {
    Lock lock(mutex_);
    return inner_.NMailPop3GetUidl(handle, mailNo);
}

}  // namespace tsubame
