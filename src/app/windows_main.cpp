// The window library's entry (libtsubame_windows.so): every command line the executable does
// not run itself (app/window_program.h), parsed and run here with Qt.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>

#include "app/check_command.h"
#include "app/cli_options.h"
#include "app/command_line.h"
#include "app/exit_after_show.h"
#include "app/mail_library_run.h"
#include "app/main_form.h"
#include "app/program_mail_library.h"
#include "app/stop_signals.h"
#include "app/window_factories.h"
#include "app/window_program.h"
#include "context/app_context.h"
#include "settings/server_settings_source.h"
#include "ui/fonts.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translations.h"

using namespace tsubame;

// Read by the executable before it calls anything here (see kWindowLibraryInterface).
extern "C" {
__attribute__((visibility("default"))) extern const int tsubame_window_library_interface;
const int tsubame_window_library_interface = kWindowLibraryInterfaceVersion;
}

namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// --send that is not a plain one (app/plain_send.h): its texts and paths go through Qt's
// conversions, and its mistakes are told here. No GUI application object: no platform and no
// font set-up.
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

int runWindows(int argc, char** argv, const CliOptions& options) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(kApplicationTitle);
    QApplication::setApplicationVersion(TSUBAME_VERSION);
    installFontSubstitutions();
    installQtJapaneseTranslation();  // without it the standard dialogs stay in English

    auto mail = createProgramMailLibrary();
    QtDialogs dialogs;
    AppContext app(AppPaths(appFolderPath(options)), *mail, dialogs);
    registerWindows(app);
    MainForm form(app);
    // Closing the main window ends the program, whatever else is still open.
    QObject::connect(&form, &MainForm::closed, &application, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    form.load();
    form.show();
    quitAfterFirstPaintIfRequested(form);
    return QApplication::exec();
}

}  // namespace

int tsubame_run_window_program(int argc, char** argv) {
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
        case CliOptions::Mode::Check:
            return runCheckProgram(appFolderPath(options));
        case CliOptions::Mode::Send:
            return runSendWithoutWindows(argc, argv, options);
        case CliOptions::Mode::Window:
            break;
    }
    return runWindows(argc, argv, options);
}
