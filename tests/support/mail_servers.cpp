#include "support/mail_servers.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;
constexpr auto kStartTimeout = std::chrono::seconds(15);
constexpr int kStartAttempts = 3;

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Dovecot refuses to run its login processes as root and to give mail to uid 0, so as root
// it uses its own system users; otherwise everything runs as the current user.
struct DovecotUsers {
    std::string internalUser;
    std::string internalGroup;
    std::string loginUser;
    uid_t mailUid = 0;
    gid_t mailGid = 0;
};

DovecotUsers dovecotUsers() {
    DovecotUsers users;
    if (::geteuid() == 0) {
        const passwd* dovecot = ::getpwnam("dovecot");
        const passwd* dovenull = ::getpwnam("dovenull");
        users.internalUser = dovecot ? "dovecot" : "nobody";
        users.loginUser = dovenull ? "dovenull" : users.internalUser;
        const passwd* mail = dovecot ? dovecot : ::getpwnam("nobody");
        users.mailUid = mail ? mail->pw_uid : 65534;
        users.mailGid = mail ? mail->pw_gid : 65534;
        const group* mailGroup = ::getgrgid(users.mailGid);
        users.internalGroup = mailGroup ? mailGroup->gr_name : "nogroup";
    } else {
        const passwd* self = ::getpwuid(::geteuid());
        users.internalUser = users.loginUser = self ? self->pw_name : "nobody";
        users.mailUid = ::geteuid();
        users.mailGid = ::getegid();
        const group* ownGroup = ::getgrgid(users.mailGid);
        users.internalGroup = ownGroup ? ownGroup->gr_name : users.internalUser;
    }
    return users;
}

void makeMaildir(const fs::path& maildir, uid_t uid, gid_t gid) {
    for (const char* sub : {"new", "cur", "tmp"}) {
        fs::create_directories(maildir / sub);
        // Writers running as another user (deliver(), the SMTP server) share the folders.
        ::chmod((maildir / sub).c_str(), 0777);
        if (::geteuid() == 0) (void)::chown((maildir / sub).c_str(), uid, gid);
    }
    if (::geteuid() == 0) (void)::chown(maildir.c_str(), uid, gid);
}

std::string uniqueMaildirName() {
    static std::atomic<int> counter{0};
    // Dovecot numbers new mails in name order: the counter is zero-padded.
    char sequence[16];
    std::snprintf(sequence, sizeof sequence, "%08d", counter++);
    return std::to_string(::time(nullptr)) + ".T" + std::to_string(::getpid()) + "_" + sequence +
           ".tsubame";
}

}  // namespace

fs::path firstMaildirMessage(const fs::path& maildir) {
    for (const char* sub : {"new", "cur"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(maildir / sub, error))
            if (entry.is_regular_file()) return entry.path();
    }
    return {};
}

int countMaildirMessages(const fs::path& maildir) {
    int count = 0;
    for (const char* sub : {"new", "cur"}) {
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(maildir / sub, error)) {
            if (entry.is_regular_file()) ++count;
        }
    }
    return count;
}

// ---------------------------------------------------------------------------------------
// Dovecot

DovecotServer::DovecotServer(Options options) : options_(std::move(options)) {
    ::chmod(folder_.path().c_str(), 0755);  // the unprivileged Dovecot processes look inside
    if (options_.tls) {
        certificates_ = std::make_unique<TestCertificates>(folder_.path() / "certs");
        if (!certificates_->ok()) return;
    }
    DovecotUsers users = dovecotUsers();
    makeMaildir(maildir(), users.mailUid, users.mailGid);
    for (int attempt = 0; attempt < kStartAttempts && !ok_; ++attempt) ok_ = startOnce();
}

DovecotServer::~DovecotServer() { process_.stop(); }

std::string DovecotServer::serverName() const {
    // Without TLS only the plain scheme lets the login go.
    return (tlsPort_ == 0 ? "pop3://" : "") + host() + ":" + std::to_string(port_);
}

std::string DovecotServer::tlsServerName() const {
    return "pop3s://" + host() + ":" + std::to_string(tlsPort_);
}

fs::path DovecotServer::caFile() const {
    return certificates_ ? certificates_->caFile() : fs::path();
}

std::string DovecotServer::log() const {
    return readText(folder_.path() / "dovecot.log") + readText(folder_.path() / "stderr.log");
}

bool DovecotServer::writeConfig() {
    const fs::path dir = folder_.path();
    DovecotUsers users = dovecotUsers();
    {
        std::ofstream passwd(dir / "passwd");
        // Plain passwords, so that APOP (which needs the clear text) works.
        passwd << options_.user << ":{PLAIN}" << options_.password << ":" << users.mailUid << ":"
               << users.mailGid << "::" << dir.string() << "::\n";
    }
    std::ofstream conf(dir / "dovecot.conf");
    conf << "protocols = pop3\n"
            "listen = 127.0.0.1\n"
         << "base_dir = " << (dir / "run").string() << "\n"
         << "state_dir = " << (dir / "state").string() << "\n"
         << "instance_name = tsubame-" << ::getpid() << "-" << port_ << "\n"
         << "log_path = " << (dir / "dovecot.log").string() << "\n"
         << "default_internal_user = " << users.internalUser << "\n"
         << "default_internal_group = " << users.internalGroup << "\n"
         << "default_login_user = " << users.loginUser << "\n"
         << "first_valid_uid = 1\nfirst_valid_gid = 1\n"
            "disable_plaintext_auth = no\n"
            "auth_mechanisms = plain apop\n"
            "auth_failure_delay = 0\n"
            "pop3_uidl_format = %08Xu%08Xv\n"
         << "mail_location = maildir:" << maildir().string() << "\n"
         << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " << (dir / "passwd").string()
         << "\n}\n"
         << "userdb {\n  driver = passwd-file\n  args = " << (dir / "passwd").string() << "\n}\n";
    if (certificates_) {
        conf << "ssl = yes\n"
             << "ssl_cert = <" << certificates_->certFile().string() << "\n"
             << "ssl_key = <" << certificates_->keyFile().string() << "\n";
        if (fs::exists("/usr/share/dovecot/dh.pem"))
            conf << "ssl_dh = </usr/share/dovecot/dh.pem\n";
    } else {
        conf << "ssl = no\n";
    }
    conf << "service pop3-login {\n"
         << "  chroot =\n"
         << "  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " << port_ << "\n  }\n"
         << "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " << tlsPort_
         << "\n    ssl = yes\n  }\n"
         << "}\n"
         << "service anvil {\n  chroot =\n}\n"
         << "service imap-login {\n  chroot =\n}\n";
    return static_cast<bool>(conf);
}

bool DovecotServer::startOnce() {
    port_ = findFreePort();
    tlsPort_ = certificates_ ? findFreePort() : 0;
    if (port_ == 0 || !writeConfig()) return false;
    const fs::path conf = folder_.path() / "dovecot.conf";
    if (!process_.start({"dovecot", "-F", "-c", conf.string()}, folder_.path() / "stderr.log")) {
        return false;
    }
    if (tlsPort_ == 0) return process_.awaitListening({port_}, kStartTimeout);
    return process_.awaitListening({port_, tlsPort_}, kStartTimeout);
}

void DovecotServer::deliver(std::string_view rawMail) {
    const std::string name = uniqueMaildirName();
    const fs::path temporary = maildir() / "tmp" / name;
    {
        std::ofstream out(temporary, std::ios::binary);
        out.write(rawMail.data(), static_cast<std::streamsize>(rawMail.size()));
    }
    ::chmod(temporary.c_str(), 0644);
    fs::rename(temporary, maildir() / "new" / name);
}

int DovecotServer::messageCount() const { return countMaildirMessages(maildir()); }

// ---------------------------------------------------------------------------------------
// SMTP

SmtpTestServer::SmtpTestServer(Options options) : options_(std::move(options)) {
    maildir_ = options_.maildir.empty() ? folder_.path() / "Maildir" : options_.maildir;
    if (options_.maildir.empty()) {
        DovecotUsers users = dovecotUsers();
        makeMaildir(maildir_, users.mailUid, users.mailGid);
    }
    if (options_.starttls || options_.implicitTls) {
        certificates_ = std::make_unique<TestCertificates>(folder_.path() / "certs");
        if (!certificates_->ok()) return;
    }
    for (int attempt = 0; attempt < kStartAttempts && !ok_; ++attempt) ok_ = startOnce();
}

SmtpTestServer::~SmtpTestServer() { process_.stop(); }

std::string SmtpTestServer::serverName() const { return "127.0.0.1:" + std::to_string(port_); }

fs::path SmtpTestServer::caFile() const {
    return certificates_ ? certificates_->caFile() : fs::path();
}

std::string SmtpTestServer::log() const { return readText(folder_.path() / "smtp.log"); }

int SmtpTestServer::messageCount() const { return countMaildirMessages(maildir_); }

bool SmtpTestServer::startOnce() {
    port_ = findFreePort();
    if (port_ == 0) return false;
    std::vector<std::string> argv;
    if (!certificates_ && options_.authUser.empty()) {
        argv = {"/usr/bin/python3",
                "-m",
                "aiosmtpd",
                "-n",
                "-l",
                "127.0.0.1:" + std::to_string(port_),
                "-c",
                "aiosmtpd.handlers.Mailbox",
                maildir_.string()};
    } else {
        argv = {"/usr/bin/python3", TSUBAME_SOURCE_DIR "/tests/support/mail_servers_smtp.py",
                "--port",           std::to_string(port_),
                "--maildir",        maildir_.string()};
        if (certificates_) {
            argv.insert(argv.end(), {"--cert", certificates_->certFile().string(), "--key",
                                     certificates_->keyFile().string()});
        }
        if (options_.implicitTls) argv.push_back("--implicit-tls");
        if (!options_.authUser.empty()) {
            argv.insert(argv.end(),
                        {"--user", options_.authUser, "--password", options_.authPassword});
        }
    }
    return process_.start(argv, folder_.path() / "smtp.log") &&
           process_.awaitListening({port_}, kStartTimeout);
}

}  // namespace tsubame::testing
