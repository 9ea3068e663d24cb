#include "maillib/mail_library_module.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>
#include <utility>
#include <vector>

#include "core/cp932.h"
#include "maillib/forwarding_mail_library.h"
#include "maillib/module_file_check.h"

namespace tsubame {
namespace {

class ModuleMailLibrary final : public ForwardingMailLibrary {
  public:
    ModuleMailLibrary(std::filesystem::path module, std::string expectedDigest)
        : module_(std::move(module)), expectedDigest_(std::move(expectedDigest)) {}

    int NMailInitializeWinSock() override {
        return rememberOrPass([this] { started_ = true; },
                              [](MailLibrary& real) { return real.NMailInitializeWinSock(); });
    }

    int NMailSetOption(int option, int value) override {
        return rememberOrPass(
            [&] { options_.emplace_back(option, value); },
            [&](MailLibrary& real) { return real.NMailSetOption(option, value); });
    }

    int NMailEndWinSock() override {
        // Before loading nothing was connected yet.
        return rememberOrPass([this] { started_ = false; },
                              [](MailLibrary& real) { return real.NMailEndWinSock(); });
    }

    int NMailGetMessage(int hwnd, std::string& buffer, int& size) override {
        std::unique_lock lock(mutex_);
        if (!attempted_ || !real_) {
            // Nothing failed yet, or the module itself is what failed.
            return giveMessage(loadError_, buffer, size);
        }
        lock.unlock();
        return real_->NMailGetMessage(hwnd, buffer, size);
    }

    void interrupt(Work work) override {
        interrupted_.fetch_or(static_cast<int>(work));
        if (MailLibrary* real = loaded_.load()) real->interrupt(work);
    }

    void resume(Work work) override {
        interrupted_.fetch_and(~static_cast<int>(work));
        if (MailLibrary* real = loaded_.load()) real->resume(work);
    }

  protected:
    int pass(const std::function<int(MailLibrary&)>& call) override {
        MailLibrary* real = load();
        return real ? call(*real) : -1;
    }

  private:
    // Starting, setting options and stopping before the module is loaded load nothing: they
    // are remembered for it (remember runs under the lock) and succeed.
    int rememberOrPass(const std::function<void()>& remember,
                       const std::function<int(MailLibrary&)>& call) {
        std::unique_lock lock(mutex_);
        if (!attempted_) {
            remember();
            return 1;
        }
        lock.unlock();
        return real_ ? call(*real_) : -1;
    }

    // The real library, loaded by the first caller; null when the module cannot be loaded.
    // Once set, real_ never changes, so callers use it without the lock.
    MailLibrary* load() {
        std::lock_guard lock(mutex_);
        if (attempted_) return real_.get();
        attempted_ = true;
        void* handle = nullptr;
        if (Status s = loadCheckedModule(module_, expectedDigest_, kMailModuleName,
                                         kMailLibraryModuleInterface, kMailLibraryInterfaceVersion,
                                         handle);
            !s) {
            loadError_ = utf8ToCp932(s.message());
            return nullptr;
        }
        using Create = MailLibrary* (*)();
        auto create = reinterpret_cast<Create>(dlsym(handle, kMailLibraryModuleEntry));
        if (create == nullptr) {
            const char* reason = dlerror();
            loadError_ = utf8ToCp932(std::string("メール機能のモジュールを読み込めません: ") +
                                     (reason ? reason : module_.string()));
            return nullptr;
        }
        real_.reset(create());
        if (started_) real_->NMailInitializeWinSock();
        for (const auto& [option, value] : options_) real_->NMailSetOption(option, value);
        // An interrupt from now on reaches the real library itself; one before is passed here.
        loaded_.store(real_.get());
        if (const int work = interrupted_.load(); work != 0)
            real_->interrupt(static_cast<Work>(work));
        return real_.get();
    }

    const std::filesystem::path module_;
    const std::string expectedDigest_;
    std::mutex mutex_;
    bool attempted_ = false;
    bool started_ = false;
    std::vector<std::pair<int, int>> options_;
    std::string loadError_;
    std::unique_ptr<MailLibrary> real_;
    std::atomic<MailLibrary*> loaded_ = nullptr;
    std::atomic<int> interrupted_ = 0;  // the Work bits interrupted and not resumed
};

}  // namespace

std::unique_ptr<MailLibrary> createMailLibraryOnFirstUse(std::filesystem::path module,
                                                         std::string expectedDigest) {
    return std::make_unique<ModuleMailLibrary>(std::move(module), std::move(expectedDigest));
}

}  // namespace tsubame
