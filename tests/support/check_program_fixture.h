#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/app_paths.h"
#include "settings/settings_files.h"
#include "store/received_mail_store.h"
#include "support/built_program.h"
#include "support/child_process.h"
#include "support/mail_servers.h"

namespace tsubame::testing {

// The built program, run as `tsubame --check` against real Dovecot: an installed application
// folder with a saved login, and a working directory whose korumi.ini points at the server.
// Skips when Dovecot cannot start or the program is not built.
class CheckProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TSUBAME_NEED_SERVER(server_.ok(), "Dovecot could not start: " << server_.log());
        TSUBAME_NEED_SERVER(std::filesystem::exists(program()), "no program at " << program());
        folder_ = root_.path() / "app";
        work_ = root_.path() / "work";
        for (const char* name : {"★MailData", "添付フォルダ", "■TextQuickSave", "Flash", "../work"})
            std::filesystem::create_directories(folder_ / name);
        SettingsFiles settings{paths()};
        ASSERT_TRUE(settings.writeLogin("NAME", server_.user()).ok());
        ASSERT_TRUE(settings.writeLogin("NAME2", server_.password()).ok());
        std::ofstream(work_ / "korumi.ini", std::ios::binary)
            << "SMTP=127.0.0.1\r\nPOP3=" << server_.serverName()
            << "\r\nMAIL=tester@example.jp\r\nAPOP=0\r\n";
    }

    static std::filesystem::path program() { return builtProgram(); }
    AppPaths paths() const { return AppPaths(folder_); }
    ReceivedMailStore store() const {
        return ReceivedMailStore(paths().receivedStore(), paths().receivedTemp());
    }

    // Starts one check in the working directory (the environment set on process added).
    void startCheck(ChildProcess& process) const {
        process.setWorkingDirectory(work_);
        process.start(program().string(), {"--check", "--app-folder", folder_.string()});
    }
    // The exit code of a started check, -1 when it crashed or did not end within waitMs.
    static int exitCode(ChildProcess& process, int waitMs) {
        if (!process.waitForFinished(waitMs)) return -1;
        return process.normalExit() ? process.exitCode() : -1;
    }

    DovecotServer server_;
    TempFolder root_;
    std::filesystem::path folder_, work_;
};

}  // namespace tsubame::testing
