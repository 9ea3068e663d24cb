#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <tuple>

#include "app/cli_options.h"
#include "app/command_line.h"
#include "app/plain_send.h"
#include "app/send_command_mail.h"
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

// The executable's own reading of a plain command line sends exactly what the full parser and
// send command send; every other command line is left to them.
TEST_F(SendCommandTest, APlainSendIsTheFullCommandsSendAndAnythingElseIsLeftToIt) {
    writeFileBytes("a.txt", "a");
    writeFileBytes("添付😀.bin", "b");
    writeFileBytes("crlf.txt", "一\r二\r\n三\n\r\n");
    writeFileBytes("bom.txt", "\xEF\xBB\xBFx");
    writeFileBytes("bad.txt", "\xED\xA0\x80");
    writeFileBytes("a\xFF.txt", "x");  // a name that is not UTF-8
    ::mkfifo("fifo", 0600);
    const std::string work = std::filesystem::current_path().string();
    using Args = std::vector<std::string>;
    const Args base = {"tsubame", "--send", "--to", "to@example.com", "--subject", "件名😀"};
    const std::vector<std::tuple<Args, bool>> rows = {
        {{"--body-file", "body.txt"}, true},
        {{"--body-file=crlf.txt", "--fortune", "--attach", "a.txt,,添付😀.bin",
          "--attach=" + work + "/a.txt"},
         true},
        {{"--body-file", "body.txt", "--app-folder", work}, true},
        {{"--body-file", "bom.txt"}, false},  // Qt drops the byte order mark
        {{"--body-file", "bad.txt"}, false},  // Qt replaces what is not UTF-8
        {{"--body-file", "fifo"}, false},     // readable once only
        {{"--body-file", "missing.txt"}, false},
        {{"--body-file", "body.txt", "--attach", "./a.txt"}, false},
        {{"--body-file", "body.txt", "--attach", "missing.txt"}, false},
        {{"--body-file", "body.txt", "--to", "x@example.com"}, false},
        {{"--body-file", "body.txt", "-fortune"}, false},
        {{"--body-file", "body.txt", "--help"}, false},
        {{"--body-file", "-x"}, false},
        {{"--body-file", "body.txt", "--attach=a\xFF.txt"}, false},
    };
    for (const auto& [extra, plain] : rows) {
        Args args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        SCOPED_TRACE(args.back());
        std::vector<char*> argv;
        QStringList arguments;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
            arguments << QString::fromLocal8Bit(arg);
        }
        const auto fast = plainSend(static_cast<int>(argv.size()), argv.data(), nullptr);
        ASSERT_EQ(fast.has_value(), plain);
        if (!plain) continue;
        const CliOptions full = parseCliOptions(arguments, {});
        ASSERT_EQ(full.mode, CliOptions::Mode::Send);
        EXPECT_EQ(fast->appFolder, appFolderPath(full));
        mail.sent.clear();
        ASSERT_EQ(runSendCommand(app->paths(), app->account, mail, full.send), 0);
        ASSERT_EQ(
            sendCommandMail(app->paths(), app->account, mail, fast->to, fast->message, nullptr), 0);
        ASSERT_EQ(mail.sent.size(), 2u);
        const auto& [byQt, byUs] = std::tie(mail.sent[0], mail.sent[1]);
        EXPECT_EQ(std::tie(byQt.server, byQt.from, byQt.to, byQt.subject, byQt.path),
                  std::tie(byUs.server, byUs.from, byUs.to, byUs.subject, byUs.path));
        EXPECT_EQ(fast->message.fortune, full.send.fortune);
        const std::size_t own =
            fast->message.fortune ? fast->message.body.size() : std::string::npos;
        EXPECT_EQ(byQt.utf8Body.substr(0, own), byUs.utf8Body.substr(0, own));  // fortunes vary
    }
}

}  // namespace
}  // namespace tsubame::testing
