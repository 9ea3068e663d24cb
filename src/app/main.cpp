#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>
#include <filesystem>

#include "app/cli_options.h"
#include "app/command_line.h"
#include "app/exit_after_show.h"
#include "app/mail_session.h"
#include "app/main_form.h"
#include "app/stop_signals.h"
#include "app/window_factories.h"
#include "context/app_context.h"
#include "core/app_paths.h"
#include "maillib/mail_library_module.h"
#include "ui/fonts.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translations.h"

using namespace tsubame;

namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

// Curl, GMime and OpenSSL's TLS load with the first check or send, not with the window.
std::unique_ptr<MailLibrary> createProgramMailLibrary() {
    return createMailLibraryOnFirstUse(executableFolder() / kMailLibraryModuleFile,
                                       kBuiltMailLibraryModuleDigest);
}

std::filesystem::path appFolderPath(const QString& folder) {
    if (folder.isEmpty()) return executableFolder();
    // The folder's own bytes, as the system names it (not necessarily UTF-8).
    return std::filesystem::path(QFile::encodeName(folder).toStdString());
}

// --check: no window, no display needed; message boxes go to standard error.
int runCheckWithoutWindows(int argc, char** argv, const CliOptions& options) {
    StopSignals stopSignals;  // before the first thread starts, so that none takes the signals
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    auto mail = createProgramMailLibrary();
    StderrDialogs dialogs;
    AppContext app(AppPaths(appFolderPath(options.appFolder)), *mail, dialogs);
    registerWindows(app);
    // The check runs the main window's start-up steps it needs by itself.
    const int code = runCheckCommand(app, &stopSignals);
    app.unloadAll();
    return code;
}

// --send draws nothing and opens no window: without a GUI application it neither loads a
// platform nor, when it ends, the font set-up (together more than the send itself).
int runSendWithoutWindows(int argc, char** argv, const CliOptions& options) {
    StopSignals stopSignals;  // before the first thread starts, so that none takes the signals
    QCoreApplication application(argc, argv);
    auto mail = createProgramMailLibrary();
    StderrDialogs dialogs;
    AppContext app(AppPaths(appFolderPath(options.appFolder)), *mail, dialogs);
    loadAccountServerSettings(app);
    startMailLibrary(*mail);
    const int code = runSendCommand(app, options.send, &stopSignals);
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
    AppContext app(AppPaths(appFolderPath(options.appFolder)), *mail, dialogs);
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
        case CliOptions::Mode::Check:
            return runCheckWithoutWindows(argc, argv, options);
        case CliOptions::Mode::Send:
            return runSendWithoutWindows(argc, argv, options);
        case CliOptions::Mode::Window:
            break;
    }
    return runWindows(argc, argv, options);
}
