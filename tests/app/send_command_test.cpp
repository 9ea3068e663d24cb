#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/command_line.h"
#include "context/app_context.h"
#include "core/cp932.h"
#include "send/send_fortune.h"
#include "settings/profile_file.h"
#include "settings/server_settings.h"
#include "settings/settings_files.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_mail_library.h"
#include "support/temp_folder.h"
#include "support/test_app_context.h"

namespace tsubame::testing {
namespace {

// An application folder and a working directory holding "korumi.ini", as a real run has.
class SendCommandTest : public ::testing::Test {
  protected:
    SendCommandTest() : previousDir_(std::filesystem::current_path()) {
        std::filesystem::create_directory(folder.path() / "★MailData");
        std::filesystem::create_directory(folder.path() / "work");
        std::filesystem::current_path(folder.path() / "work");
        writeFileBytes("korumi.ini",
                       "SMTP=smtp.example.com\r\nPOP3=pop.example.com\r\n"
                       "MAIL=me@example.com\r\nAPOP=0\r\n");
        app = std::make_unique<testing::TestAppContext>(AppPaths(folder.path()), mail, dialogs);
        loadServerSettings(app->paths().serverSettingsFileToRead(), app->account);  // as start-up
        EXPECT_TRUE(app->settingsFiles().writeLogin("NAME", "user"));
        // Stored bytes that are no code page 932 character reach the library unchanged.
        EXPECT_TRUE(ProfileFile(app->paths().loginFile()).writeString("EXEINI", "NAME2", "p\xA0s"));
        writeFileBytes("body.txt", "こんにちは\n二行目\n");
        options.to = "to@example.com";
        options.subject = QStringLiteral("件名");
        options.bodyFile = "body.txt";
    }
    ~SendCommandTest() override { std::filesystem::current_path(previousDir_); }

    int run() { return runSendCommand(app->paths(), app->account, mail, options); }

    TempFolder folder;
    ScriptedMailLibrary mail;
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> app;
    SendOptions options;

  private:
    std::filesystem::path previousDir_;
};

TEST_F(SendCommandTest, SendsWithTheComposeWindowsSettings) {
    writeFileBytes("a.txt", "a");
    writeFileBytes("b.bin", "b");
    options.attachments = {"a.txt", "b.bin"};
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(mail.sent.size(), 1u);
    const auto& sent = mail.sent[0];
    EXPECT_EQ(sent.server, "smtp.example.com");
    EXPECT_EQ(sent.from, "me@example.com");
    EXPECT_EQ(sent.to, "to@example.com");
    EXPECT_EQ(sent.subject, utf8ToCp932("件名"));
    EXPECT_EQ(sent.body, utf8ToCp932("こんにちは\r\n二行目\r\n"));
    const std::string work = std::filesystem::current_path().string();
    EXPECT_EQ(sent.path, utf8ToCp932(work + "/a.txt," + work + "/b.bin"));
    EXPECT_TRUE(sent.ccNull && sent.bccNull && sent.headerNull);
    EXPECT_EQ(sent.flag, 0);
    EXPECT_EQ(mail.smtpLoginId, "user");
    EXPECT_EQ(mail.smtpLoginPassword, "p\xA0s");
}

TEST_F(SendCommandTest, NoAttachmentGivesAnEmptyList) {
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(mail.sent.size(), 1u);
    EXPECT_FALSE(mail.sent[0].pathNull);
    EXPECT_EQ(mail.sent[0].path, "");
}

TEST_F(SendCommandTest, FortuneOptionAddsOneBlock) {
    options.fortune = true;
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(mail.sent.size(), 1u);
    const std::string head =
        utf8ToCp932("こんにちは\r\n二行目\r\n\r\n\r\n" + std::string(fortuneBanner()) + "\r\n\r\n");
    EXPECT_EQ(mail.sent[0].body.rfind(head, 0), 0u);
}

TEST_F(SendCommandTest, FailurePrintsTheLibrarysTextAndExitsOne) {
    mail.sendResults = {-1};
    mail.errorText = utf8ToCp932("サーバーに接続できません");
    ::testing::internal::CaptureStderr();
    int code = run();
    std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 1);
    EXPECT_NE(printed.find("サーバーに接続できません"), std::string::npos) << printed;
}

// --to takes one address: a comma or a line break would add recipients.
TEST_F(SendCommandTest, ToWithMoreThanOneAddressIsRefused) {
    for (const char* to : {"to@example.com,bcc@example.com", "to@example.com\nbcc@example.com",
                           "to@example.com\r\nCc: cc@example.com", "to@example.com\r"}) {
        options.to = QString::fromUtf8(to);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(run(), 1) << to;
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("--to"), std::string::npos);
    }
    EXPECT_TRUE(mail.sent.empty());
}

// Texts outside code page 932 reach the library whole; the attachment path stays the file
// system's name.
TEST_F(SendCommandTest, TextsAndPathsOutsideCodePage932ReachTheLibraryWhole) {
    writeFileBytes("body.txt", "본문 😀 é ü ą 简体\n");
    writeFileBytes("添付😀.txt", "x");
    options.subject = QStringLiteral("件名😀");
    options.attachments = {QStringLiteral("添付😀.txt")};
    ASSERT_EQ(run(), 0);
    ASSERT_EQ(mail.sent.size(), 1u);
    EXPECT_TRUE(mail.sent[0].utf8Call);
    EXPECT_EQ(mail.sent[0].utf8Subject, "件名😀");
    EXPECT_EQ(mail.sent[0].utf8Body, "본문 😀 é ü ą 简体\r\n");
    EXPECT_EQ(mail.sent[0].path, std::filesystem::current_path().string() + "/添付😀.txt");
}

TEST_F(SendCommandTest, BadInputSendsNothing) {
    ::testing::internal::CaptureStderr();
    options.attachments = {"missing.txt"};
    EXPECT_EQ(run(), 1);
    options.attachments.clear();
    options.bodyFile = "missing-body.txt";
    EXPECT_EQ(run(), 1);
    writeFileBytes("a,b.txt", "x");
    options.bodyFile = "body.txt";
    options.attachments = {"a,b.txt"};  // a comma would split the attachment list
    EXPECT_EQ(run(), 1);
    std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(mail.sent.empty());
    EXPECT_NE(printed.find("missing.txt"), std::string::npos);
    EXPECT_NE(printed.find("missing-body.txt"), std::string::npos);
}

}  // namespace
}  // namespace tsubame::testing
