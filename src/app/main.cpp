#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "app/app_context.h"
#include "app/command_line.h"
#include "app/main_form.h"
#include "core/app_paths.h"
#include "transport/nmail.h"
#include "ui/qt_dialogs.h"

using namespace tsubame;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName("Tsubame");
    QApplication::setApplicationVersion(TSUBAME_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("Tsubame: POP3/SMTP mail client");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption appFolder("app-folder", "Application folder (default: the executable's).",
                                 "DIR");
    QCommandLineOption check("check", "Check for new mail without windows and print the count.");
    parser.addOptions({appFolder, check});
    parser.process(application);

    QString folder = parser.value(appFolder);
    if (folder.isEmpty()) folder = qEnvironmentVariable("TSUBAME_APP_FOLDER");
    std::filesystem::path path = folder.isEmpty() ? executableFolder()
                                                  : std::filesystem::path(folder.toStdString());

    auto mail = createMailLibrary();
    if (parser.isSet(check)) {
        StderrDialogs dialogs;
        AppContext app(AppPaths(path), *mail, dialogs);
        return runCheckCommand(app);
    }
    QtDialogs dialogs;
    AppContext app(AppPaths(path), *mail, dialogs);
    MainForm form(app);
    form.load();
    form.show();
    return QApplication::exec();
}
