#include <QCoreApplication>
#include <cstdio>

#include "app/cli_options.h"
#include "app/command_line.h"
#include "app/mail_library_run.h"
#include "app/program_mail_library.h"
#include "app/stop_signals.h"
#include "app/window_program.h"
#include "settings/account_settings.h"
#include "settings/server_settings_source.h"

using namespace tsubame;

namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// --send draws nothing and opens no window: a console application object (no platform, no
// font set-up when it ends), and none of the window library's Qt GUI libraries.
int runSendWithoutWindows(int argc, char** argv, const CliOptions& options) {
    StopSignals stopSignals;  // before the first thread starts, so that none takes the signals
    QCoreApplication application(argc, argv);
    auto mail = createProgramMailLibrary();
    const AppPaths paths(appFolderPath(options));
    AccountSettings account;
    // As the main window's start-up reads them; a send tells nothing of their source.
    loadServerSettingsOfRun(paths, account);
    startMailLibrary(*mail);
    const int code = runSendCommand(paths, account, *mail, options.send, &stopSignals);
    stopMailLibrary(*mail);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const CliOptions options =
        parseCliOptions(argumentList(argc, argv), qEnvironmentVariable("TSUBAME_APP_FOLDER"));
    switch (options.mode) {
        case CliOptions::Mode::Error:
            std::fprintf(stderr, "tsubame: %s\n%s", options.error.toLocal8Bit().constData(),
                         cliHelpText().toLocal8Bit().constData());
            return 2;
        case CliOptions::Mode::Help:
            std::fputs(cliHelpText().toLocal8Bit().constData(), stdout);
            return 0;
        case CliOptions::Mode::Version:
            std::printf("tsubame %s\n", TSUBAME_VERSION);
            return 0;
        case CliOptions::Mode::Send:
            return runSendWithoutWindows(argc, argv, options);
        case CliOptions::Mode::Check:
        case CliOptions::Mode::Window:
            break;
    }
    return runWindowProgram(argc, argv, options);
}
