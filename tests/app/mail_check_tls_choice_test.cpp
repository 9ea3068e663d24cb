// The TLS choices of a check from the main window, with the real library: a server without
// STLS, a certificate nobody vouches for, and that certificate changed. Yes settles each for
// the next check; No changes nothing.
#include <gtest/gtest.h>

#include <optional>

#include "app/mail_check_operation.h"
#include "app/main_form.h"
#include "core/file_io.h"
#include "settings/server_settings.h"
#include "settings/trusted_certificates.h"
#include "support/mail_servers.h"
#include "support/real_library_app_fixture.h"

namespace tsubame::testing {
namespace {

class MailCheckTlsChoiceTest : public RealLibraryAppTest {
  protected:
    // One check from the main window with the question answered so: the first box's text.
    std::string check(const std::string& server, std::optional<BoxAnswer> answer = {}) {
        app_->account.Pop3Server = server;
        dialogs_.clear();
        if (answer) dialogs_.answerNext(*answer);
        MainForm main(*app_);
        outcome_ = runMailCheck(*app_);
        return dialogs_.boxTexts().empty() ? std::string()
                                           : dialogs_.boxTexts().front().toStdString();
    }
    std::string settingsFile() const { return readFileBytes(app_->paths().serverSettingsFile()); }
    std::map<std::string, std::string> trusted() const {
        return readTrustedCertificates(app_->paths().trustedCertificates());
    }
    MailCheckOutcome outcome_;
};

TEST_F(MailCheckTlsChoiceTest, LoginInClearAndCertificatesAreTheUsersChoice) {
    FakePop3Mailbox box;
    box.add("plain");
    const std::string bare = box.serverName().substr(std::string("pop3://").size());
    for (const BoxAnswer answer : {BoxAnswer::No, BoxAnswer::Yes}) {
        const std::string asked = check(bare, answer);
        EXPECT_NE(asked.find("暗号化せずに送ってもよいですか"), std::string::npos) << asked;
        EXPECT_EQ(settingsFile().find("POP3=pop3://" + bare) != std::string::npos,
                  answer == BoxAnswer::Yes);
    }
    EXPECT_TRUE(check(app_->account.Pop3Server).empty()) << "asked once";
    EXPECT_EQ(outcome_.count, 1);

    DovecotServer server(DovecotServer::Options{.tls = true});
    if (!server.ok()) GTEST_SKIP() << server.log();
    server.deliver(simpleMail("secret mail", "over TLS\r\n"));
    ScopedEnv noCa("TSUBAME_CA_FILE", "");
    std::string fingerprint;
    for (const BoxAnswer answer : {BoxAnswer::No, BoxAnswer::Yes}) {
        const std::string asked = check(server.tlsServerName(), answer);
        EXPECT_NE(asked.find("この証明書を信頼しますか"), std::string::npos) << asked;
        EXPECT_NE(asked.find("発行者: "), std::string::npos) << asked;
        EXPECT_EQ(trusted().size(), answer == BoxAnswer::Yes ? 1u : 0u);
        EXPECT_EQ(outcome_.count, 0);
    }
    const std::string where = "127.0.0.1:" + std::to_string(server.tlsPort());
    EXPECT_NE(dialogs_.boxTexts().front().toStdString().find(trusted()[where]), std::string::npos);
    EXPECT_TRUE(check(server.tlsServerName()).empty()) << "trusted from now on";
    EXPECT_EQ(outcome_.count, 1);

    // Another certificate than the trusted one asks again.
    ASSERT_TRUE(trustCertificate(app_->paths().trustedCertificates(), where, "AB:CD").ok());
    const std::string asked = check(server.tlsServerName(), BoxAnswer::No);
    EXPECT_NE(asked.find("以前に信頼したものから変わりました"), std::string::npos) << asked;
    EXPECT_EQ(trusted()[where], "AB:CD");
}

}  // namespace
}  // namespace tsubame::testing
