// POP3 over TLS against Dovecot with a test certificate authority.
#include <gtest/gtest.h>

#include <chrono>

#include "maillib/module/nmail.h"
#include "support/mail_servers.h"
#include "support/pop3_test_helpers.h"

namespace tsubame::testing {
namespace {

class Pop3TlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TSUBAME_NEED_SERVER(server_.ok(), "Dovecot with TLS could not start: " << server_.log());
        server_.deliver(simpleMail("secret mail", "over TLS\r\n"));
    }

    // Logs in over the given server name and reads mail 1; the result of the connect.
    int readOverTls(const std::string& serverName) {
        int handle = library_->NMailPop3Connect(serverName.c_str());
        if (handle <= 0) return handle;
        EXPECT_EQ(library_->NMailPop3Authenticate(handle, "tester", "secret", 0), 1)
            << lastLibraryMessage(*library_);
        std::string s, d, f, h, b;
        EXPECT_EQ(library_->NMailPop3GetMail(handle, 1, s, d, f, h, b, nullptr, nullptr), 1);
        EXPECT_EQ(b, "over TLS\r\n");
        EXPECT_EQ(library_->NMailPop3Close(handle), 1);
        return handle;
    }

    DovecotServer server_{DovecotServer::Options{.tls = true}};
    std::unique_ptr<MailLibrary> library_ = createMailLibrary();
};

TEST_F(Pop3TlsTest, Pop3sWithTheTestCa) {
    ScopedEnv ca("TSUBAME_CA_FILE", server_.caFile().string());
    EXPECT_GT(readOverTls(server_.tlsServerName()), 0) << lastLibraryMessage(*library_);
    EXPECT_NE(server_.log().find("TLS"), std::string::npos);
}

TEST_F(Pop3TlsTest, StlsIsUsedWhenTheServerOffersIt) {
    ScopedEnv ca("TSUBAME_CA_FILE", server_.caFile().string());
    EXPECT_GT(readOverTls(server_.serverName()), 0) << lastLibraryMessage(*library_);
    // Dovecot notes the session as TLS when the login happened after STLS.
    EXPECT_NE(server_.log().find("method=PLAIN, rip=127.0.0.1, lip=127.0.0.1, mpid="),
              std::string::npos);
    EXPECT_NE(server_.log().find(", TLS"), std::string::npos) << server_.log();
}

TEST_F(Pop3TlsTest, CertificateOfAnUnknownAuthorityIsRefused) {
    ScopedEnv noCa("TSUBAME_CA_FILE", "");
    for (const std::string& name : {server_.tlsServerName(), server_.serverName()}) {
        EXPECT_EQ(library_->NMailPop3Connect(name.c_str()), -1) << name;
        std::string message = lastLibraryMessage(*library_);
        EXPECT_NE(message.find("暗号化通信を確立できません"), std::string::npos) << message;
        EXPECT_NE(message.find("certificate"), std::string::npos) << message;
    }
    EXPECT_EQ(server_.log().find("Login:"), std::string::npos) << "no password was sent";
}

// A port of TLS from the first byte named without pop3s:// is told within seconds, whatever
// the port and the time-out, with the user's port kept in the advice.
TEST_F(Pop3TlsTest, TlsPortNamedPlainIsToldWithinSeconds) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "30000");
    const std::string name = "127.0.0.1:" + std::to_string(server_.tlsPort());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(library_->NMailPop3Connect(name.c_str()), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(lastLibraryMessage(*library_).find("pop3s://" + name), std::string::npos)
        << lastLibraryMessage(*library_);
}

TEST_F(Pop3TlsTest, HostNameIsCheckedAgainstTheCertificate) {
    ScopedEnv ca("TSUBAME_CA_FILE", server_.caFile().string());
    EXPECT_GT(readOverTls("pop3s://localhost:" + std::to_string(server_.tlsPort())), 0)
        << lastLibraryMessage(*library_);
}

}  // namespace
}  // namespace tsubame::testing
