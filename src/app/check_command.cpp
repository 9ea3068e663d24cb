#include "app/check_command.h"

#include <sysexits.h>

#include <cstdio>
#include <functional>

#include "app/mail_library_run.h"
#include "app/stop_signals.h"
#include "receive/mail_check.h"
#include "settings/server_settings_source.h"
#include "store/received_mail_store.h"

namespace tsubame {
namespace {

void printBox(const std::string& text, const std::string& title) {
    const std::string line = title.empty() ? text : title + ": " + text;
    std::fprintf(stderr, "%s\n", line.c_str());
}

// The check's windows on the command line: nothing is shown, no viewer stages the mails, the
// message boxes are lines on standard error.
class ConsoleCheckHost : public MailCheckHost {
  public:
    explicit ConsoleCheckHost(std::function<bool()> stopRequested)
        : stopRequested_(std::move(stopRequested)) {}

    bool stopRequested() override { return stopRequested_(); }
    void checkStarted() override {}
    void loginRead(const std::string&, const std::string&) override {}
    void loginMissing() override { printBox(kLoginMissingNotice, mail_check_text::kErrorTitle); }
    void notice(const std::string& text, const std::string& title) override {
        printBox(text, title);
    }
    void stage(const StagedMail&) override {}

  private:
    std::function<bool()> stopRequested_;
};

}  // namespace

int runCheckCommand(const AppPaths& paths, MailLibrary& mail, StopSignals* stopSignals) {
    // What the main window's start-up does before a check can run.
    AccountSettings account;
    if (const ServerSettingsSource source = loadServerSettingsOfRun(paths, account);
        !source.notice.empty())
        std::fprintf(stderr, "%s\n", source.notice.c_str());
    if (Status st =
            ReceivedMailStore(paths.receivedStore(), paths.receivedTemp()).createIfMissing();
        !st) {
        std::fprintf(stderr, "%s\n", st.message().c_str());
        return 1;
    }
    startMailLibrary(mail);
    // A signal stops the check as the stop button does: the network wait ends at once, the
    // mail under way stays on the server.
    if (stopSignals) {
        stopSignals->setStop([&mail] { mail.interrupt(MailLibrary::Work::Receiving); });
        if (stopSignals->received()) mail.interrupt(MailLibrary::Work::Receiving);
    }
    ConsoleCheckHost host([stopSignals] { return stopSignals && stopSignals->received(); });
    ReceivedMailRecord recordBuffer;
    std::int16_t currentRecord = 0;
    const MailCheckResult result =
        MailCheck(mail, paths, account, recordBuffer, currentRecord, host).run();
    if (stopSignals) stopSignals->setStop({});
    stopMailLibrary(mail);
    std::printf("%d\n", result.count);
    std::fflush(stdout);
    if (stopSignals && stopSignals->received()) {
        std::fprintf(stderr, "メール受信を中止しました。\n");
        return stopSignals->exitCode();
    }
    // A writer that kept the data folder locked is a passing state: cron may try again.
    if (result.busy) return EX_TEMPFAIL;  // 75
    return result.completed ? 0 : 1;
}

}  // namespace tsubame
