#include "addressbook/hover_help_option.h"

#include "context/app_context.h"

namespace tsubame {

bool hoverHelpWanted(AppContext& app) {
    if (MainWindow* main = app.mainForm()) return main->showHelpChecked();
    return app.settingsFiles().readWindowOption("NUMBER") == 1;
}

}  // namespace tsubame
