#include <clocale>

#include "app/check_command.h"
#include "app/program_mail_library.h"
#include "app/stop_signals.h"

namespace tsubame {

int runCheckProgram(const std::filesystem::path& appFolder) {
    StopSignals stopSignals;     // before the first thread starts, so that none takes the signals
    std::setlocale(LC_ALL, "");  // the user's locale, as under Qt's application object
    auto mail = createProgramMailLibrary();
    return runCheckCommand(AppPaths(appFolder), *mail, &stopSignals);
}

}  // namespace tsubame
