#include "app/send_command.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <tuple>

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
        options.to = {"to@example.com"};
        options.subject = "件名";
        options.bodyFile = "body.txt";
    }
    ~SendCommandTest() override { std::filesystem::current_path(previousDir_); }

    int run() { return runSendCommand(app->paths(), app->account, mail, options); }

    TempFolder folder;
    ScriptedMailLibrary mail;
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> app;
    SendCommand options;

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

// Texts outside code page 932 reach the library whole; the attachment path stays the file
// system's name.
TEST_F(SendCommandTest, TextsAndPathsOutsideCodePage932ReachTheLibraryWhole) {
    writeFileBytes("body.txt", "본문 😀 é ü ą 简体\n");
    writeFileBytes("添付😀.txt", "x");
    options.subject = "件名😀";
    options.attachments = {"添付😀.txt"};
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

// --to names exactly one mailbox (a comma or a line break would add recipients); the server
// gets its bare address.
TEST_F(SendCommandTest, ToTakesExactlyOneAddress) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"a@example.com"}, "a@example.com"},
        {{"\"Taro Yamada\" <a@example.com>"}, "a@example.com"},
        {{"Taro Yamada <a@example.com>"}, "a@example.com"},
        {{"山田 太郎 <a@example.com>"}, "a@example.com"},
        {{"a@example.com (Taro (home))"}, "a@example.com"},
        {{"J. Smith < \"x y\"@[192.0.2.1] >"}, "\"x y\"@[192.0.2.1]"},
        {{"a@example.com b@example.com"}, ""},
        {{"a@example.com\tb@example.com"}, ""},
        {{"a@example.com;b@example.com"}, ""},
        {{"to@example.com,bcc@example.com"}, ""},
        {{"to@example.com\r\nCc: cc@example.com"}, ""},
        {{"to@example.com\r"}, ""},
        {{"to@example.com\nbcc@example.com"}, ""},
        {{"\"x\" <a@example.com> <b@example.com>"}, ""},
        {{"<a@example.com>, <b@example.com>"}, ""},
        {{"friends: a@example.com;"}, ""},
        {{"a@example.com", "b@example.com"}, ""},
        {{"a@example.com", "a@example.com"}, ""},
        {{" "}, ""},
        {{"<>"}, ""},
        {{"a@"}, ""},
        {{"\"a@example.com"}, ""},
        {{"a@example.com (open"}, ""},
        {{"a\x01@example.com"}, ""},
        {{"\"a\nb\"@example.com"}, ""},
    };
    for (const auto& [to, sentTo] : rows) {
        SCOPED_TRACE(to.front());
        options.to = to;
        mail.sent.clear();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(run(), sentTo.empty() ? 1 : 0);
        const std::string printed = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(printed.find("--to") != std::string::npos, sentTo.empty()) << printed;
        ASSERT_EQ(mail.sent.size(), sentTo.empty() ? 0u : 1u);
        if (!sentTo.empty()) {
            EXPECT_EQ(mail.sent[0].to, sentTo);
        }
    }
}

// The body as it reaches the library: one read of the file, whatever it is.
TEST_F(SendCommandTest, BodyFileIsReadOnceAsAStream) {
    std::string crs(70000, 'x');
    crs[65535] = '\r';  // a CR LF across the end of one read
    crs[65536] = '\n';
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"一\r二\r\n三\n\r\n", "一\r\n二\r\n三\r\n\r\n"},
        {"\xEF\xBB\xBFx\xEF\xBB\xBF", "x\xEF\xBB\xBF"},
        {"a\xED\xA0\x80"
         "b\xFF",
         "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"},
        {crs, crs.substr(0, 65535) + "\r\n" + crs.substr(65537)},
    };
    ::mkfifo("fifo", 0600);
    for (const auto& [written, sent] : rows) {
        // Through a FIFO with a writer, as from a shell's process substitution.
        std::thread writer([&written] { std::ofstream("fifo", std::ios::binary) << written; });
        options.bodyFile = "fifo";
        mail.sent.clear();
        EXPECT_EQ(run(), 0);
        writer.join();
        ASSERT_EQ(mail.sent.size(), 1u);
        EXPECT_EQ(mail.sent[0].utf8Body, sent);
    }
}

}  // namespace
}  // namespace tsubame::testing
