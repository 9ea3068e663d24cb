#include "maillib/mail_library_module.h"

#include <dlfcn.h>

#include <mutex>
#include <utility>
#include <vector>

#include "core/cp932.h"

namespace tsubame {
namespace {

class ModuleMailLibrary final : public MailLibrary {
  public:
    explicit ModuleMailLibrary(std::filesystem::path module) : module_(std::move(module)) {}

    int NMailInitializeWinSock() override {
        std::unique_lock lock(mutex_);
        if (!attempted_) {
            started_ = true;
            return 1;
        }
        lock.unlock();
        return real_ ? real_->NMailInitializeWinSock() : -1;
    }

    int NMailSetOption(int option, int value) override {
        std::unique_lock lock(mutex_);
        if (!attempted_) {
            options_.emplace_back(option, value);
            return 1;
        }
        lock.unlock();
        return real_ ? real_->NMailSetOption(option, value) : -1;
    }

    int NMailEndWinSock() override {
        std::unique_lock lock(mutex_);
        if (!attempted_) {
            started_ = false;  // nothing was connected yet
            return 1;
        }
        lock.unlock();
        return real_ ? real_->NMailEndWinSock() : -1;
    }

    int NMailPop3Connect(const char* server) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3Connect(server) : -1;
    }

    int NMailPop3Authenticate(int handle, const char* id, const char* password, int apop) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3Authenticate(handle, id, password, apop) : -1;
    }

    int NMailPop3GetMailStatus(int handle, int mailNo, std::string& subject, std::string& date,
                               std::string& from, std::string& header, int flag) override {
        MailLibrary* real = load();
        return real
                   ? real->NMailPop3GetMailStatus(handle, mailNo, subject, date, from, header, flag)
                   : -1;
    }

    int NMailPop3GetMailSize(int handle, int mailNo) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3GetMailSize(handle, mailNo) : -1;
    }

    int NMailPop3GetMail(int handle, int mailNo, std::string& subject, std::string& date,
                         std::string& from, std::string& header, std::string& body,
                         const char* path, const char* fileName) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3GetMail(handle, mailNo, subject, date, from, header, body,
                                             path, fileName)
                    : -1;
    }

    int NMailPop3GetMailView(int handle, int mailNo, std::string& subject, std::string& date,
                             std::string& from, std::string& header, std::string_view& rawHeader,
                             std::string_view& body) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3GetMailView(handle, mailNo, subject, date, from, header,
                                                 rawHeader, body)
                    : -1;
    }

    int NMailAttachmentFileFirst(int hwnd, std::string& subject, std::string& date,
                                 std::string& from, std::string& header, std::string& body,
                                 const char* folder, const char* fileName, const char* rawMail,
                                 int flag) override {
        MailLibrary* real = load();
        return real ? real->NMailAttachmentFileFirst(hwnd, subject, date, from, header, body,
                                                     folder, fileName, rawMail, flag)
                    : -1;
    }

    int NMailAttachmentFileClose(int hwnd) override {
        MailLibrary* real = load();
        return real ? real->NMailAttachmentFileClose(hwnd) : -1;
    }

    int NMailAttachmentFileFirstLength(std::string& subject, std::string& date, std::string& from,
                                       std::string& header, std::string& body,
                                       const std::filesystem::path& folder,
                                       std::string_view rawMail,
                                       std::vector<std::filesystem::path>& savedFiles) override {
        savedFiles.clear();
        MailLibrary* real = load();
        return real ? real->NMailAttachmentFileFirstLength(subject, date, from, header, body,
                                                           folder, rawMail, savedFiles)
                    : -1;
    }

    int NMailAttachmentFileFirstBodyStart(std::string& subject, std::string& date,
                                          std::string& from, std::string& header, std::string& body,
                                          const std::filesystem::path& folder,
                                          std::string_view rawMail,
                                          std::vector<std::filesystem::path>& savedFiles,
                                          std::size_t bodyLimit) override {
        savedFiles.clear();
        MailLibrary* real = load();
        return real ? real->NMailAttachmentFileFirstBodyStart(
                          subject, date, from, header, body, folder, rawMail, savedFiles, bodyLimit)
                    : -1;
    }

    int NMailPop3DeleteMail(int handle, int mailNo) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3DeleteMail(handle, mailNo) : -1;
    }

    int NMailPop3Close(int handle) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3Close(handle) : -1;
    }

    int NMailPop3Abort(int handle) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3Abort(handle) : -1;
    }

    int NMailSmtpSendMail(const char* server, const char* to, const char* cc, const char* bcc,
                          const char* from, const char* subject, const char* body,
                          const char* header, const char* path, int flag) override {
        MailLibrary* real = load();
        return real ? real->NMailSmtpSendMail(server, to, cc, bcc, from, subject, body, header,
                                              path, flag)
                    : -1;
    }

    int NMailSmtpSendMailUtf8(const char* server, const char* to, const char* cc, const char* bcc,
                              const char* from, const char* subject, const char* body,
                              const char* header, const char* path, int flag) override {
        MailLibrary* real = load();
        return real ? real->NMailSmtpSendMailUtf8(server, to, cc, bcc, from, subject, body, header,
                                                  path, flag)
                    : -1;
    }

    int NMailGetMessage(int hwnd, std::string& buffer, int& size) override {
        std::unique_lock lock(mutex_);
        if (!attempted_ || !real_) {
            // Nothing failed yet, or the module itself is what failed.
            const std::size_t limit = size > 0 ? static_cast<std::size_t>(size - 1) : 0;
            buffer = loadError_.substr(0, cp932SafeCut(loadError_, limit));
            size = static_cast<int>(buffer.size());
            return 1;
        }
        lock.unlock();
        return real_->NMailGetMessage(hwnd, buffer, size);
    }

    void NMailSetSmtpLogin(const char* id, const char* password) override {
        if (MailLibrary* real = load()) real->NMailSetSmtpLogin(id, password);
    }

    std::string NMailPop3GetUidl(int handle, int mailNo) override {
        MailLibrary* real = load();
        return real ? real->NMailPop3GetUidl(handle, mailNo) : std::string();
    }

  private:
    // The real library, loaded by the first caller; null when the module cannot be loaded.
    // Once set, real_ never changes, so callers use it without the lock.
    MailLibrary* load() {
        std::lock_guard lock(mutex_);
        if (attempted_) return real_.get();
        attempted_ = true;
        // Kept loaded until the program ends: the real library's objects live in it.
        void* handle = dlopen(module_.c_str(), RTLD_NOW | RTLD_LOCAL);
        using Create = MailLibrary* (*)();
        auto create =
            handle ? reinterpret_cast<Create>(dlsym(handle, kMailLibraryModuleEntry)) : nullptr;
        if (create == nullptr) {
            const char* reason = dlerror();
            loadError_ = utf8ToCp932(std::string("メール機能のモジュールを読み込めません: ") +
                                     (reason ? reason : module_.string()));
            return nullptr;
        }
        real_.reset(create());
        if (started_) real_->NMailInitializeWinSock();
        for (const auto& [option, value] : options_) real_->NMailSetOption(option, value);
        return real_.get();
    }

    const std::filesystem::path module_;
    std::mutex mutex_;
    bool attempted_ = false;
    bool started_ = false;
    std::vector<std::pair<int, int>> options_;
    std::string loadError_;
    std::unique_ptr<MailLibrary> real_;
};

}  // namespace

std::unique_ptr<MailLibrary> createMailLibraryOnFirstUse(std::filesystem::path module) {
    return std::make_unique<ModuleMailLibrary>(std::move(module));
}

}  // namespace tsubame
