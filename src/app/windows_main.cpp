// The window library's entry (libtsubame_windows.so): the windows, started by the executable
// once it has read the command line (app/window_program.h).
#include <QApplication>

#include "app/exit_after_show.h"
#include "app/main_form.h"
#include "app/program_mail_library.h"
#include "app/window_factories.h"
#include "app/window_program.h"
#include "context/app_context.h"
#include "ui/fonts.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translations.h"

using namespace tsubame;

// Read by the executable before it calls anything here (see kWindowLibraryInterface).
extern "C" {
__attribute__((visibility("default"))) extern const int tsubame_window_library_interface;
const int tsubame_window_library_interface = kWindowLibraryInterfaceVersion;
}

int tsubame_run_window_program(int argc, char** argv, const char* appFolder) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(kApplicationTitle);
    QApplication::setApplicationVersion(TSUBAME_VERSION);
    installFontSubstitutions();
    installQtJapaneseTranslation();  // without it the standard dialogs stay in English

    auto mail = createProgramMailLibrary();
    QtDialogs dialogs;
    AppContext app(AppPaths(appFolder), *mail, dialogs);
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
