#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "context/app_context.h"
#include "core/file_io.h"
#include "maillib/module/nmail.h"
#include "settings/settings_files.h"
#include "support/fake_pop3_mailbox.h"
#include "support/pop3_test_helpers.h"
#include "support/real_library_check_fixture.h"
#include "support/scripted_dialogs.h"
#include "support/temp_folder.h"
#include "support/test_app_context.h"

namespace tsubame::testing {

// An application folder on the real mail library, with a saved login for the fake mailbox and
// a short network time-out, so that whole checks against hostile servers and disks stay quick.
// Injected file faults are cleared after each test.
class RealLibraryAppTest : public ::testing::Test {
  protected:
    RealLibraryAppTest() { useAppFolder(root() / "app"); }
    void TearDown() override { clearInjectedFaults(); }

    // Makes the context on a fresh installed application folder at folder.
    void useAppFolder(const std::filesystem::path& folder) {
        folder_ = folder;
        layOutCheckAppFolder(folder_);
        app_ = std::make_unique<TestAppContext>(AppPaths(folder_), *library_, dialogs_);
    }
    // The temporary folder that holds the application folder; free for other files.
    std::filesystem::path root() const { return root_.path(); }

    ScopedEnv timeout_{"TSUBAME_NET_TIMEOUT_MS", "2000"};
    TempFolder root_;
    std::filesystem::path folder_;
    std::unique_ptr<MailLibrary> library_ = createMailLibrary();
    ScriptedDialogs dialogs_;
    std::unique_ptr<AppContext> app_;
};

}  // namespace tsubame::testing
