#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/app_paths.h"
#include "receive/mail_check.h"
#include "settings/account_settings.h"
#include "store/received_mail_record.h"
#include "store/received_mail_store.h"

namespace tsubame::testing {

// What a check tells the windows around it, kept for the test: a host without windows.
class RecordingCheckHost : public MailCheckHost {
  public:
    struct Notice {
        std::string text, title;
    };

    void checkStarted() override { started = true; }
    void loginRead(const std::string& id, const std::string& password) override {
        readId = id;
        readPassword = password;
    }
    void loginMissing() override { missingLogin = true; }
    void notice(const std::string& text, const std::string& title) override {
        notices.push_back({text, title});
    }
    void stage(const StagedMail& mail) override { staged.push_back(mail); }
    void progress(int doneNow, int totalNow) override {
        done = doneNow;
        total = totalNow;
    }
    // Asked on the check's threads too.
    bool stopRequested() override {
        std::scoped_lock lock(stopMutex_);
        return stop || (stopWhen && stopWhen());
    }
    void setStopWhen(std::function<bool()> when) {
        std::scoped_lock lock(stopMutex_);
        stopWhen = std::move(when);
    }
    void clear() {
        notices.clear();
        staged.clear();
        started = missingLogin = false;
    }

    bool started = false, missingLogin = false;
    std::string readId, readPassword;
    std::vector<Notice> notices;
    std::vector<StagedMail> staged;
    std::atomic<int> done = 0, total = 0;
    std::atomic<bool> stop = false;

  private:
    std::mutex stopMutex_;
    std::function<bool()> stopWhen;
};

// What a check works on besides its library, as the windows keep it: the application folder,
// the account, the record buffer and the current record.
struct CheckState {
    explicit CheckState(const std::filesystem::path& folder) : paths(folder) {}

    MailCheckResult check(MailLibrary& library, MailCheckHost& host) {
        return MailCheck(library, paths, account, recordBuffer, currentRecord, host).run();
    }
    ReceivedMailStore receivedStore() const {
        return ReceivedMailStore(paths.receivedStore(), paths.receivedTemp());
    }

    AppPaths paths;
    AccountSettings account;
    ReceivedMailRecord recordBuffer;
    std::int16_t currentRecord = 0;
};

}  // namespace tsubame::testing
