#include "setup/set_form.h"

#include <gtest/gtest.h>

#include <QPushButton>

#include "app/shell_fixture.h"
#include "setup/id_pass_form.h"
#include "setup/option_form.h"

namespace tsubame::testing {
namespace {

using SetFormTest = ShellTest;

TEST_F(SetFormTest, ButtonsShowTheTwoDialogsOnce) {
    SetForm& menu = app->setForm();
    AppContext::showWindow(menu);
    EXPECT_EQ(menu.windowTitle(), "設定");
    auto* account = menu.findChild<QPushButton*>("Command1");
    auto* server = menu.findChild<QPushButton*>("Command2");
    EXPECT_EQ(account->text(), "ID/PASS");
    EXPECT_EQ(server->text(), "POPサーバー");

    account->click();
    IdPassForm* login = app->loadedIdPassForm();
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(login->isVisible());
    account->click();  // an open dialog only comes forward
    EXPECT_EQ(app->loadedIdPassForm(), login);

    server->click();
    ASSERT_NE(app->loadedOptionForm(), nullptr);
    EXPECT_TRUE(app->loadedOptionForm()->isVisible());
    EXPECT_TRUE(menu.isVisible());  // the menu stays open (not modal)
}

}  // namespace
}  // namespace tsubame::testing
