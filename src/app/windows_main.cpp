// The window library's entry (libtsubame_windows.so): the main window and --check, started by
// the executable (app/window_program.h).
#include <QApplication>
#include <QCoreApplication>

#include "app/cli_options.h"
#include "app/command_line.h"
#include "app/exit_after_show.h"
#include "app/main_form.h"
#include "app/program_mail_library.h"
#include "app/stop_signals.h"
#include "app/window_factories.h"
#include "app/window_program.h"
#include "context/app_context.h"
#include "ui/fonts.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translations.h"

using namespace tsubame;

namespace {

// --check: no window, no display needed; message boxes go to standard error.
int runCheckWithoutWindows(int argc, char** argv, const CliOptions& options) {
    StopSignals stopSignals;  // before the first thread starts, so that none takes the signals
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    auto mail = createProgramMailLibrary();
    StderrDialogs dialogs;
    AppContext app(AppPaths(appFolderPath(options)), *mail, dialogs);
    registerWindows(app);
    // The check runs the main window's start-up steps it needs by itself.
    const int code = runCheckCommand(app, &stopSignals);
    app.unloadAll();
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

int tsubame_run_window_program(int argc, char** argv, const CliOptions* options) {
    if (options->mode == CliOptions::Mode::Check)
        return runCheckWithoutWindows(argc, argv, *options);
    return runWindows(argc, argv, *options);
}
