#include "addressbook/hover_help_option.h"

#include "app/app_context.h"
#include "app/main_form.h"

namespace tsubame {

bool hoverHelpWanted(AppContext& app) {
    if (MainForm* main = app.mainForm()) return main->showHelpChecked();
    return app.settingsFiles().readWindowOption("NUMBER") == 1;
}

}  // namespace tsubame
