#include <sysexits.h>

#include <cstdio>

#include "app/command_line.h"
#include "app/mail_check_operation.h"
#include "app/mail_session.h"
#include "app/stop_signals.h"
#include "context/app_context.h"

namespace tsubame {

int runCheckCommand(AppContext& app, StopSignals* stopSignals) {
    // What the main window's start-up does before a check can run.
    if (const ServerSettingsSource source = loadAccountServerSettings(app); !source.notice.empty())
        std::fprintf(stderr, "%s\n", source.notice.c_str());
    if (Status st = app.receivedStore().createIfMissing(); !st) {
        std::fprintf(stderr, "%s\n", st.message().c_str());
        return 1;
    }
    MailLibrary& mail = app.mail();
    mail.NMailInitializeWinSock();
    mail.NMailSetOption(1, MailLibrary::kHeaderBufferSize);
    // A signal stops the check as the stop button does: the network wait ends at once, the
    // mail under way stays on the server.
    if (stopSignals) {
        stopSignals->setStop([&mail] { mail.interrupt(MailLibrary::Work::Receiving); });
        if (stopSignals->received()) mail.interrupt(MailLibrary::Work::Receiving);
    }
    const MailCheckOutcome outcome =
        runMailCheck(app, [stopSignals] { return stopSignals && stopSignals->received(); });
    if (stopSignals) stopSignals->setStop({});
    mail.NMailEndWinSock();
    std::printf("%d\n", outcome.count);
    std::fflush(stdout);
    if (stopSignals && stopSignals->received()) {
        std::fprintf(stderr, "メール受信を中止しました。\n");
        return stopSignals->exitCode();
    }
    // A writer that kept the data folder locked is a passing state: cron may try again.
    if (outcome.busy) return EX_TEMPFAIL;  // 75
    return outcome.completed ? 0 : 1;
}

}  // namespace tsubame
