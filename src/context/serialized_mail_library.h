#pragma once

#include <mutex>

#include "maillib/forwarding_mail_library.h"

namespace tsubame {

// The mail library as the windows share it: the check and the sends run on threads of their
// own. The library keeps state of its own between calls: the POP3 connections for the check,
// the SMTP login for a send. So the receiving calls run one at a time, and so do the sending
// calls, but a send never waits for a mail the check is downloading. Starting and ending the
// library waits for both. Interrupting and the failure text (each thread's own) never wait.
class SerializedMailLibrary : public ForwardingMailLibrary {
  public:
    explicit SerializedMailLibrary(MailLibrary& inner) : inner_(inner) {}

    void interrupt(Work work) override { inner_.interrupt(work); }
    void resume(Work work) override { inner_.resume(work); }
    int NMailGetMessage(int hwnd, std::string& buffer, int& size) override {
        return inner_.NMailGetMessage(hwnd, buffer, size);
    }
    // The thread's own, like the failure text; the trust list has a lock of its own.
    TlsProblem NMailLastTlsProblem() override { return inner_.NMailLastTlsProblem(); }
    void NMailSetTrustedCertificates(const std::map<std::string, std::string>& trusted) override {
        inner_.NMailSetTrustedCertificates(trusted);
    }

    int NMailInitializeWinSock() override {
        std::scoped_lock both(receiving_, sending_);
        return inner_.NMailInitializeWinSock();
    }
    int NMailSetOption(int option, int value) override {
        std::scoped_lock both(receiving_, sending_);
        return inner_.NMailSetOption(option, value);
    }
    int NMailEndWinSock() override {
        std::scoped_lock both(receiving_, sending_);
        return inner_.NMailEndWinSock();
    }
    int NMailSmtpSendMail(const char* server, const char* to, const char* cc, const char* bcc,
                          const char* from, const char* subject, const char* body,
                          const char* header, const char* path, int flag) override {
        std::lock_guard lock(sending_);
        return inner_.NMailSmtpSendMail(server, to, cc, bcc, from, subject, body, header, path,
                                        flag);
    }
    int NMailSmtpSendMailUtf8(const char* server, const char* to, const char* cc, const char* bcc,
                              const char* from, const char* subject, const char* body,
                              const char* header, const char* path, int flag) override {
        std::lock_guard lock(sending_);
        return inner_.NMailSmtpSendMailUtf8(server, to, cc, bcc, from, subject, body, header, path,
                                            flag);
    }
    void NMailSetSmtpLogin(const char* id, const char* password) override {
        std::lock_guard lock(sending_);
        inner_.NMailSetSmtpLogin(id, password);
    }

    // The decoding runs beside the dialogue when the library allows it (the check decodes one
    // mail while it downloads the next).
    int NMailAttachmentFileFirstBodyStart(std::string& subject, std::string& date,
                                          std::string& from, std::string& header, std::string& body,
                                          const std::filesystem::path& folder,
                                          std::string_view rawMail,
                                          std::vector<std::filesystem::path>& savedFiles,
                                          std::size_t bodyLimit, DecodeDetails* details) override {
        auto call = [&] {
            return inner_.NMailAttachmentFileFirstBodyStart(
                subject, date, from, header, body, folder, rawMail, savedFiles, bodyLimit, details);
        };
        if (decodesBeside()) return call();
        std::lock_guard lock(receiving_);
        return call();
    }
    int NMailAttachmentFileClose(int hwnd) override {
        if (decodesBeside()) return inner_.NMailAttachmentFileClose(hwnd);
        std::lock_guard lock(receiving_);
        return inner_.NMailAttachmentFileClose(hwnd);
    }
    bool decodesBesideOtherCalls() override { return decodesBeside(); }

  protected:
    // Every other call belongs to the check: the POP3 dialogue and the decoding.
    int pass(const std::function<int(MailLibrary&)>& call) override {
        std::lock_guard lock(receiving_);
        return call(inner_);
    }

  private:
    bool decodesBeside() {
        // Asked once: the answer never changes, and asking may load the library.
        std::call_once(askedDecoding_, [this] {
            std::lock_guard lock(receiving_);
            decodesBeside_ = inner_.decodesBesideOtherCalls();
        });
        return decodesBeside_;
    }

    MailLibrary& inner_;
    std::once_flag askedDecoding_;
    bool decodesBeside_ = false;
    std::mutex receiving_;
    std::mutex sending_;
};

}  // namespace tsubame
