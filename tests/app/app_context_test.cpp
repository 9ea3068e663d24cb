#include <gtest/gtest.h>

#include "app/shell_fixture.h"
#include "setup/id_pass_form.h"
#include "setup/set_form.h"

namespace tsubame::testing {
namespace {

using AppContextTest = ShellTest;

TEST_F(AppContextTest, WindowIsCreatedAndLoadedOnFirstUseAndOnlyOnce) {
    TempAppFolder::write(folder.dataFile("iniIdPass.ini"), "[EXEINI]\r\nNAME=first\r\n");
    EXPECT_EQ(app->loadedIdPassForm(), nullptr);
    IdPassForm& dialog = app->idPassForm();
    EXPECT_EQ(app->loadedIdPassForm(), &dialog);
    EXPECT_EQ(dialog.idText(), "first");  // the load step ran
    EXPECT_FALSE(dialog.isVisible());     // loading does not show
    EXPECT_EQ(&app->idPassForm(), &dialog);
}

TEST_F(AppContextTest, ClosingUnloadsAndTheNextUseLoadsAfresh) {
    TempAppFolder::write(folder.dataFile("iniIdPass.ini"), "[EXEINI]\r\nNAME=first\r\n");
    IdPassForm& dialog = app->idPassForm();
    AppContext::showWindow(dialog);
    dialog.setIdText("typed but not saved");
    dialog.close();
    processDeletes();
    EXPECT_EQ(app->loadedIdPassForm(), nullptr);

    TempAppFolder::write(folder.dataFile("iniIdPass.ini"), "[EXEINI]\r\nNAME=second\r\n");
    EXPECT_EQ(app->idPassForm().idText(), "second");
}

TEST_F(AppContextTest, ShowWindowShowsAndRestoresAMinimizedWindow) {
    SetForm& menu = app->setForm();
    AppContext::showWindow(menu);
    EXPECT_TRUE(menu.isVisible());
    menu.showMinimized();
    AppContext::showWindow(menu);
    EXPECT_FALSE(menu.isMinimized());
}

}  // namespace
}  // namespace tsubame::testing
