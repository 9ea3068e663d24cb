#include <clocale>
#include <cstdlib>

#include "app/check_command.h"
#include "app/mail_library_run.h"
#include "app/plain_check.h"
#include "app/plain_send.h"
#include "app/program_mail_library.h"
#include "app/send_command_mail.h"
#include "app/stop_signals.h"
#include "app/window_program.h"
#include "settings/server_settings_source.h"

using namespace tsubame;

namespace {

// A plain --send: no Qt, no window library; only the mail library module is loaded, at the
// send.
int runPlainSend(const PlainSend& send) {
    StopSignals stopSignals;     // before the first thread starts, so that none takes the signals
    std::setlocale(LC_ALL, "");  // the user's locale, as under Qt's application object
    auto mail = createProgramMailLibrary();
    const AppPaths paths(send.appFolder);
    AccountSettings account;
    // As the main window's start-up reads them; a send tells nothing of their source.
    loadServerSettingsOfRun(paths, account);
    startMailLibrary(*mail);
    const int code = sendCommandMail(paths, account, *mail, send.to, send.message, &stopSignals);
    stopMailLibrary(*mail);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const char* envAppFolder = std::getenv("TSUBAME_APP_FOLDER");
    if (const auto send = plainSend(argc, argv, envAppFolder)) return runPlainSend(*send);
    if (const auto folder = plainCheck(argc, argv, envAppFolder)) return runCheckProgram(*folder);
    return runWindowProgram(argc, argv);
}
