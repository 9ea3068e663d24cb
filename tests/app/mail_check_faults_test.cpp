// The settings writes of the account dialog and the main window on a disk that fails: the
// window says so and the file keeps its bytes. (The check against failing servers and disks
// runs without windows: tests/receive/mail_check_faults_test.cpp.)
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QPushButton>
#include <filesystem>
#include <map>

#include "app/main_form.h"
#include "settings/settings_files.h"
#include "setup/id_pass_form.h"
#include "support/real_library_app_fixture.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;
using IoFault = tsubame::FaultKind;
using MailCheckFaultsTest = RealLibraryAppTest;

// Every file in the data folder, with its content.
std::map<std::string, std::string> folderContents(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = readFileBytes(entry.path());
    return files;
}

TEST_F(MailCheckFaultsTest, AccountDialogThatCannotSaveSaysSoAndKeepsTheLoginFile) {
    const auto before = folderContents(app_->paths().dataFolder());
    for (IoFault kind : {IoFault::Write, IoFault::Sync, IoFault::Rename}) {
        SCOPED_TRACE(static_cast<int>(kind));
        dialogs_.clear();
        IdPassForm& dialog = app_->idPassForm();
        dialog.findChild<QCheckBox*>("Check1")->setChecked(true);
        dialog.setIdText("another");
        dialog.setPassText("another password");
        injectFault(kind, 1, ENOSPC);
        dialog.findChild<QPushButton*>("OKCommand")->click();
        clearInjectedFaults();
        ASSERT_EQ(dialogs_.boxTexts().size(), 1u);
        EXPECT_TRUE(dialogs_.boxTexts()[0].contains(QStringLiteral("保存できませんでした")));
        EXPECT_EQ(folderContents(app_->paths().dataFolder()), before);
    }
}

TEST_F(MailCheckFaultsTest, MainWindowThatCannotSaveItsOptionsOnCloseSaysSoAndKeepsTheFile) {
    SettingsFiles settings(app_->paths());
    ASSERT_TRUE(settings.writeWindowOption("NUMBER", 1).ok());
    ASSERT_TRUE(settings.writeWindowOption("NUMBER2", 0).ok());
    for (IoFault kind : {IoFault::Write, IoFault::Sync, IoFault::Rename}) {
        SCOPED_TRACE(static_cast<int>(kind));
        auto form = std::make_unique<MainForm>(*app_);
        form->load();
        dialogs_.clear();
        const auto before = folderContents(app_->paths().dataFolder());
        form->findChild<QCheckBox*>("Check1")->setChecked(false);
        form->findChild<QCheckBox*>("Check2")->setChecked(true);
        injectFault(kind, 1, ENOSPC);
        form->close();
        clearInjectedFaults();
        form.reset();
        ASSERT_EQ(dialogs_.boxTexts().size(), 1u);
        EXPECT_TRUE(dialogs_.boxTexts()[0].contains(QStringLiteral("保存できませんでした")))
            << dialogs_.boxTexts()[0].toStdString();
        EXPECT_EQ(folderContents(app_->paths().dataFolder()), before);
    }
}

}  // namespace
}  // namespace tsubame::testing
