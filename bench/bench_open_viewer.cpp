// Opens the received-mail viewer on the application folder's store, as the main window's
// "メールを見る" does, and prints the seconds until the filled window has been shown and
// painted, and the number of stored mails the main window then shows.
//
//     bench_open_viewer APP_FOLDER     (korumi.ini is read from the working directory)

#include <QApplication>
#include <chrono>
#include <cstdio>

#include "app/main_form.h"
#include "app/window_factories.h"
#include "context/app_context.h"
#include "core/app_paths.h"
#include "maillib/module/nmail.h"
#include "ui/qt_dialogs.h"
#include "viewer/tyaku_form.h"

using namespace tsubame;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s APP_FOLDER\n", argv[0]);
        return 2;
    }
    auto mail = createMailLibrary();
    StderrDialogs dialogs;
    AppContext app(AppPaths(argv[1]), *mail, dialogs);
    registerWindows(app);
    MainForm mainForm(app);
    mainForm.load();
    mainForm.show();
    QApplication::processEvents();

    const auto start = std::chrono::steady_clock::now();
    TyakuForm& viewer = app.viewer();
    viewer.openViewer();
    viewer.repaint();
    QApplication::processEvents();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

    std::printf("%.6f %s\n", elapsed.count(), qPrintable(mainForm.storedMailCount()));
    return 0;
}
