// tsubame --check: the receive button's check without windows.
#include "app/check_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include "app/mail_check_fixture.h"
#include "settings/profile_file.h"

namespace tsubame::testing {
namespace {

// Runs the command with korumi.ini in a working directory of its own, like a shell would.
class CheckCommandTest : public MailCheckTest {
  protected:
    CheckCommandTest() {
        workDir_ = std::filesystem::path(root_.path().toStdString()) / "cwd";
        std::filesystem::create_directories(workDir_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(workDir_);
        app_->account = {};  // the command reads the server itself
        writeKorumi(
            "SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=me@example.jp\r\nAPOP=0\r\n");
    }
    ~CheckCommandTest() override { std::filesystem::current_path(previous_); }
    void writeKorumi(const std::string& text) {
        std::ofstream(workDir_ / "korumi.ini", std::ios::binary) << text;
    }
    // err, when given, takes standard error (the message boxes, one line each).
    int run(std::string* out, std::string* err = nullptr) {
        ::testing::internal::CaptureStdout();
        if (err) ::testing::internal::CaptureStderr();
        const int code = runCheckCommand(app_->paths(), app_->mail());
        if (err) *err = ::testing::internal::GetCapturedStderr();
        *out = ::testing::internal::GetCapturedStdout();
        return code;
    }

    std::filesystem::path workDir_, previous_;
};

TEST_F(CheckCommandTest, StoresTheMailPrintsTheCountAndShowsNoWindow) {
    addMails(3);
    // Stored bytes that are no code page 932 character reach the library unchanged.
    ProfileFile(app_->paths().loginFile()).writeString("EXEINI", "NAME2", "p\xA0s");
    std::string out;
    EXPECT_EQ(run(&out), 0);
    EXPECT_EQ(out, "3\n");
    EXPECT_EQ(storedSubjects(), (std::vector<std::string>{"件名1", "件名2", "件名3"}));
    EXPECT_TRUE(mail_.mailbox.empty());
    EXPECT_EQ(mail_.calls.front(), "InitializeWinSock");
    EXPECT_EQ(mail_.options, (std::vector<std::pair<int, int>>{{1, 8192}}));
    EXPECT_TRUE(mail_.ended);
    EXPECT_EQ(app_->loadedWindow(WindowKind::Viewer), nullptr);
    EXPECT_EQ(app_->loadedWindow(WindowKind::IdPassForm), nullptr);
    EXPECT_EQ(mail_.calls[2], "Connect pop.example.jp");
    EXPECT_EQ(mail_.lastAuthPassword, "p\xA0s");
}

TEST_F(CheckCommandTest, NoMailIsASuccess) {
    std::string out;
    EXPECT_EQ(run(&out), 0);
    EXPECT_EQ(out, "0\n");
}

TEST_F(CheckCommandTest, FailuresExitWithOne) {
    std::string out;
    mail_.connectFails = true;
    EXPECT_EQ(run(&out), 1);
    EXPECT_EQ(out, "0\n");

    mail_.connectFails = false;
    mail_.loginResult = -1;
    std::string err;
    EXPECT_EQ(run(&out, &err), 1);
    EXPECT_EQ(out, "-1\n");
    EXPECT_NE(err.find("エラー: "), std::string::npos) << err;

    // A mailbox in use is a passing state, like a locked data folder: cron may try again.
    mail_.loginResult = MailLibrary::kMailboxBusy;
    EXPECT_EQ(run(&out), 75);
}

// The working directory's korumi.ini: standard error names it; once others may write it,
// it is not read.
TEST_F(CheckCommandTest, SaysWhichServerSettingsItReadAndRefusesOthersFiles) {
    for (const bool othersWrite : {false, true}) {
        if (othersWrite) ::chmod((workDir_ / "korumi.ini").c_str(), 0646);
        app_->account = {};
        ::testing::internal::CaptureStderr();
        std::string out;
        EXPECT_EQ(run(&out), othersWrite ? 1 : 0);
        EXPECT_NE(::testing::internal::GetCapturedStderr().find(othersWrite ? "読み込みませんでした"
                                                                            : "korumi.ini"),
                  std::string::npos);
    }
}

TEST_F(CheckCommandTest, MissingLoginIsAFailureWithAMessage) {
    SettingsFiles(app_->paths()).writeLogin("NAME", "");
    std::string out, err;
    EXPECT_EQ(run(&out, &err), 1);
    const std::string box = std::string("エラー: ") + kLoginMissingNotice + "\n";
    ASSERT_NE(err.find(box), std::string::npos) << err;
    EXPECT_EQ(err.find(box), err.size() - box.size());  // the only box, and the last line
    EXPECT_EQ(app_->loadedWindow(WindowKind::IdPassForm), nullptr);
}

TEST_F(CheckCommandTest, MissingServerSettingIsAFailure) {
    std::filesystem::remove(workDir_ / "korumi.ini");
    std::string out;
    EXPECT_EQ(run(&out), 1);
    EXPECT_EQ(std::count(mail_.calls.begin(), mail_.calls.end(), "Connect "), 0);
}

TEST_F(CheckCommandTest, StoreErrorIsAFailure) {
    addMails(2);
    mail_.onFetch = [&](int) { std::filesystem::remove_all(app_->paths().dataFolder()); };
    std::string out;
    EXPECT_EQ(run(&out), 1);
    EXPECT_EQ(mail_.mailbox.size(), 2u);
}

}  // namespace
}  // namespace tsubame::testing
