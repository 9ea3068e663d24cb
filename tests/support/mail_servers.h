#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "support/mail_servers_certs.h"
#include "support/mail_servers_process.h"
#include "support/temp_folder.h"

namespace tsubame::testing {

// A real Dovecot POP3 server on a free loopback port, with one user and a Maildir in its own
// temporary folder. Stopped and removed in the destructor. Check ok() (and log() for why not)
// before use; tests that need it use TSUBAME_NEED_SERVER.
class DovecotServer {
  public:
    struct Options {
        bool tls = false;  // STLS on the plain port and a pop3s port, with a test CA
        std::string user = "tester";
        std::string password = "secret";
    };

    DovecotServer() : DovecotServer(Options{}) {}
    explicit DovecotServer(Options options);
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    bool ok() const { return ok_; }
    std::string log() const;

    std::string host() const { return "127.0.0.1"; }
    int port() const { return port_; }
    int tlsPort() const { return tlsPort_; }  // 0 without tls
    std::string serverName() const;     // "127.0.0.1:port" with tls, else "pop3://127.0.0.1:port"
    std::string tlsServerName() const;  // "pop3s://127.0.0.1:tlsPort"
    const std::string& user() const { return options_.user; }
    const std::string& password() const { return options_.password; }
    std::filesystem::path maildir() const { return folder_.path() / "Maildir"; }
    std::filesystem::path caFile() const;  // empty without tls

    // Puts a mail into the Maildir (new/), as a delivery agent would.
    void deliver(std::string_view rawMail);
    // Mails in the mailbox as the server side sees them (new/ and cur/).
    int messageCount() const;

  private:
    bool writeConfig();
    bool startOnce();

    Options options_;
    TempFolder folder_;
    std::unique_ptr<TestCertificates> certificates_;
    ServerProcess process_;
    int port_ = 0;
    int tlsPort_ = 0;
    bool ok_ = false;
};

// A real SMTP server (aiosmtpd) on a free loopback port that stores every mail it receives as
// a file in a Maildir, by default the one a DovecotServer serves, so a sent mail can be
// fetched back. Optional STARTTLS or implicit TLS, and AUTH (PLAIN/LOGIN).
class SmtpTestServer {
  public:
    struct Options {
        std::filesystem::path maildir;  // empty: a Maildir of its own
        bool starttls = false;
        bool implicitTls = false;  // TLS from the first byte, as on port 465
        std::string authUser;      // non-empty: AUTH offered and required
        std::string authPassword;
    };

    SmtpTestServer() : SmtpTestServer(Options{}) {}
    explicit SmtpTestServer(Options options);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    bool ok() const { return ok_; }
    std::string log() const;

    int port() const { return port_; }
    std::string serverName() const;  // "127.0.0.1:port"
    std::filesystem::path maildir() const { return maildir_; }
    std::filesystem::path caFile() const;  // empty without TLS
    int messageCount() const;

  private:
    bool startOnce();

    Options options_;
    TempFolder folder_;
    std::filesystem::path maildir_;
    std::unique_ptr<TestCertificates> certificates_;
    ServerProcess process_;
    int port_ = 0;
    bool ok_ = false;
};

// Files in new/ and cur/ of a Maildir.
int countMaildirMessages(const std::filesystem::path& maildir);
// The first mail file in new/ or cur/ of a Maildir; empty when there is none.
std::filesystem::path firstMaildirMessage(const std::filesystem::path& maildir);

}  // namespace tsubame::testing
