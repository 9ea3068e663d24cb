#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/file_io.h"
#include "maillib/module/nmail.h"
#include "settings/settings_files.h"
#include "support/check_fixture.h"
#include "support/fake_pop3_mailbox.h"
#include "support/pop3_test_helpers.h"
#include "support/temp_folder.h"

namespace tsubame::testing {

// An installed application folder at folder with the fake mailbox's login saved.
inline void layOutCheckAppFolder(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder / "★MailData");
    std::filesystem::create_directories(folder / "添付フォルダ");
    SettingsFiles settings{AppPaths(folder)};
    EXPECT_TRUE(settings.writeLogin("NAME", FakePop3Mailbox::kUser).ok());
    EXPECT_TRUE(settings.writeLogin("NAME2", FakePop3Mailbox::kPassword).ok());
}

// An application folder on the real mail library, with a saved login for the fake mailbox and
// a short network time-out, so that whole checks against hostile servers and disks stay quick;
// the check runs without windows (RecordingCheckHost). Injected file faults are cleared after
// each test.
class RealLibraryCheckTest : public ::testing::Test {
  protected:
    RealLibraryCheckTest() { useAppFolder(root() / "app"); }
    void TearDown() override { clearInjectedFaults(); }

    // Makes the state on a fresh installed application folder at folder.
    void useAppFolder(const std::filesystem::path& folder) {
        folder_ = folder;
        layOutCheckAppFolder(folder_);
        state_ = std::make_unique<CheckState>(folder_);
    }
    // The temporary folder that holds the application folder; free for other files.
    std::filesystem::path root() const { return root_.path(); }

    ScopedEnv timeout_{"TSUBAME_NET_TIMEOUT_MS", "2000"};
    TempFolder root_;
    std::filesystem::path folder_;
    std::unique_ptr<MailLibrary> library_ = createMailLibrary();
    RecordingCheckHost host_;
    std::unique_ptr<CheckState> state_;
};

}  // namespace tsubame::testing
