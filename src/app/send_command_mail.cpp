#include "app/send_command_mail.h"

#include <cstdio>

#include "app/stop_signals.h"
#include "core/app_paths.h"
#include "settings/settings_files.h"
#include "settings/trusted_certificates.h"

namespace tsubame {
namespace {

void printError(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

}  // namespace

int sendCommandMail(const AppPaths& paths, const AccountSettings& account, MailLibrary& mail,
                    const std::string& to, OutgoingMessage message, StopSignals* stopSignals) {
    const SettingsFiles settings(paths);
    message.server = account.SmtpServer;
    message.from = account.MailAddress;
    message.trustedCertificates = readTrustedCertificates(paths.trustedCertificates());
    applySmtpLogin(mail, account, settings.readLoginAsStored("NAME"),
                   settings.readLoginAsStored("NAME2"));
    std::string error = "送信に失敗しました。";
    SendHooks hooks;
    hooks.passFailed = [&error](int, const std::string&, const std::string& text) {
        if (!text.empty()) error = text;
    };
    // A signal stops the send as the stop button does: before the transfer nothing is sent;
    // during it the connection is dropped, and the server discards a mail whose transfer did
    // not end.
    if (stopSignals) {
        stopSignals->setStop([&mail] { mail.interrupt(MailLibrary::Work::Sending); });
        if (stopSignals->received()) {
            stopSignals->setStop({});
            printError("送信を中止しました。");
            return stopSignals->exitCode();
        }
    }
    SendReport report = runSendPasses(mail, message, {PassRecipient{to, {}}}, hooks);
    if (stopSignals) stopSignals->setStop({});
    if (stopSignals && stopSignals->received()) {
        printError("送信を中止しました。");
        return stopSignals->exitCode();
    }
    if (report.tlsProblem.kind != MailLibrary::TlsProblem::Kind::None) {
        // Never asked here: the text says which setting settles it.
        printError(report.tlsProblemText + "\n" +
                   tlsProblemAdvice(report.tlsProblem, paths.serverSettingsFile(),
                                    paths.trustedCertificates()));
        return 1;
    }
    if (!report.allSent()) {
        printError(error);
        return 1;
    }
    return 0;
}

}  // namespace tsubame
