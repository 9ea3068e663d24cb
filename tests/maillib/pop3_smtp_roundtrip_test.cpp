// A mail sent through the library to the SMTP test server lands in the Maildir Dovecot
// serves and comes back through POP3 and the decoder unchanged.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/cp932.h"
#include "maillib/module/nmail.h"
#include "support/mail_servers.h"
#include "support/pop3_test_helpers.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

struct Received {
    std::string subject, from, body;
    int attachmentResult = 0;
};

// Fetches mail 1 and decodes it into folder as the mail check does.
Received fetchAndDecode(MailLibrary& library, const DovecotServer& server,
                        const std::filesystem::path& folder) {
    Received r;
    int handle = library.NMailPop3Connect(server.serverName().c_str());
    EXPECT_EQ(library.NMailPop3Authenticate(handle, "tester", "secret", 0), 1);
    std::string date, header;
    library.NMailPop3GetMail(handle, 1, r.subject, date, r.from, header, r.body, nullptr, nullptr);
    std::string raw = header + "\r\n" + r.body + "\r\n";
    r.attachmentResult =
        library.NMailAttachmentFileFirst(0, r.subject, date, r.from, header, r.body, folder.c_str(),
                                         (folder / "0.txt").c_str(), raw.c_str(), 0);
    library.NMailAttachmentFileClose(0);
    library.NMailPop3Close(handle);
    return r;
}

TEST(Pop3SmtpRoundTripTest, SentMailComesBackWithJapaneseTextsAndAttachments) {
    DovecotServer pop3;
    TSUBAME_NEED_SERVER(pop3.ok(), "Dovecot could not start: " << pop3.log());
    SmtpTestServer::Options options;
    options.maildir = pop3.maildir();
    SmtpTestServer smtp(options);
    ASSERT_TRUE(smtp.ok()) << smtp.log();

    TempFolder files;
    writeFileBytes(files / "a.txt", "first attachment\n");
    writeFileBytes(files / "b.txt", "second attachment\n");
    const std::string attachments = (files / "a.txt").string() + "," + (files / "b.txt").string();
    const std::string subject = utf8ToCp932("テスト送信");
    const std::string body = utf8ToCp932("こんにちは。\r\n二行目です。");

    auto library = createMailLibrary();
    EXPECT_GE(library->NMailSmtpSendMail(smtp.serverName().c_str(), "tester@example.com", nullptr,
                                         nullptr, "sender@example.com", subject.c_str(),
                                         body.c_str(), nullptr, attachments.c_str(), 0),
              0)
        << lastLibraryMessage(*library);
    ASSERT_EQ(pop3.messageCount(), 1);

    TempFolder saved;
    Received r = fetchAndDecode(*library, pop3, saved.path());
    EXPECT_EQ(cp932ToUtf8(r.subject), "テスト送信");
    EXPECT_NE(r.from.find("sender@example.com"), std::string::npos);
    EXPECT_NE(cp932ToUtf8(r.body).find("二行目です。"), std::string::npos);
    EXPECT_EQ(r.attachmentResult, 1);
    EXPECT_EQ(readFileBytes(saved / "a.txt"), "first attachment\n");
    EXPECT_EQ(readFileBytes(saved / "b.txt"), "second attachment\n");
}

TEST(Pop3SmtpRoundTripTest, StartTlsWithLoginAndAWrongLogin) {
    DovecotServer pop3;
    TSUBAME_NEED_SERVER(pop3.ok(), "Dovecot could not start: " << pop3.log());
    SmtpTestServer smtp(SmtpTestServer::Options{.maildir = pop3.maildir(),
                                                .starttls = true,
                                                .authUser = "smtpuser",
                                                .authPassword = "smtppass"});
    ASSERT_TRUE(smtp.ok()) << smtp.log();
    ScopedEnv ca("TSUBAME_CA_FILE", smtp.caFile().string());

    auto library = createMailLibrary();
    library->NMailSetSmtpLogin("smtpuser", "wrong");
    EXPECT_LT(library->NMailSmtpSendMail(smtp.serverName().c_str(), "tester@example.com", nullptr,
                                         nullptr, "sender@example.com", "s", "b", nullptr, "", 0),
              0);
    EXPECT_TRUE(lastLibraryMessage(*library).starts_with("メールを送信できません"));
    EXPECT_EQ(pop3.messageCount(), 0);

    library->NMailSetSmtpLogin("smtpuser", "smtppass");
    EXPECT_GE(
        library->NMailSmtpSendMail(smtp.serverName().c_str(), "tester@example.com", nullptr,
                                   nullptr, "sender@example.com", "over tls", "b", nullptr, "", 0),
        0)
        << lastLibraryMessage(*library);
    EXPECT_EQ(pop3.messageCount(), 1);
}

}  // namespace
}  // namespace tsubame::testing
