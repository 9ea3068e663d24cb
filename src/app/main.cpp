#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "app/check_command.h"
#include "app/command_line.h"
#include "app/mail_library_run.h"
#include "app/program_mail_library.h"
#include "app/send_command.h"
#include "app/stop_signals.h"
#include "app/window_program.h"
#include "settings/server_settings_source.h"

using namespace tsubame;

namespace {

// --send: no Qt, no window library; only the mail library module is loaded, at the send.
int runSendProgram(const Command& command) {
    StopSignals stopSignals;     // before the first thread starts, so that none takes the signals
    std::setlocale(LC_ALL, "");  // the user's locale, as under Qt's application object
    auto mail = createProgramMailLibrary();
    const AppPaths paths(command.appFolderPath());
    AccountSettings account;
    // As the main window's start-up reads them; a send tells nothing of their source.
    loadServerSettingsOfRun(paths, account);
    startMailLibrary(*mail);
    const int code = runSendCommand(paths, account, *mail, command.send, &stopSignals);
    stopMailLibrary(*mail);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const Command command = parseCommandLine(argc, argv, std::getenv("TSUBAME_APP_FOLDER"));
    const std::string help(commandHelpText());
    switch (command.mode) {
        case Command::Mode::Error:
            std::fprintf(stderr, "tsubame: %s\n%s", command.error.c_str(), help.c_str());
            return 2;
        case Command::Mode::Help:
            std::fputs(help.c_str(), stdout);
            return 0;
        case Command::Mode::Version:
            std::printf("tsubame %s\n", TSUBAME_VERSION);
            return 0;
        case Command::Mode::Check:
            return runCheckProgram(command.appFolderPath());
        case Command::Mode::Send:
            return runSendProgram(command);
        case Command::Mode::Window:
            break;
    }
    return runWindowProgram(argc, argv, command.appFolderPath());
}
