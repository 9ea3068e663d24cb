// tsubame --check, the built program, when it cannot check at all: every reason reaches
// standard error and the exit status is 1. None of these may look like an empty mailbox, and
// a korumi.ini that is a FIFO must not hang the program.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "core/app_paths.h"
#include "settings/settings_files.h"
#include "support/built_program.h"
#include "support/child_process.h"
#include "support/fake_pop3_mailbox.h"
#include "support/mail_servers.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;
using MailboxFault = FakePop3Mailbox::FaultKind;

// A loopback port that nobody listens on.
int closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class CheckFailuresToldTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TSUBAME_NEED_SERVER(fs::exists(builtProgram()), "no program at " << builtProgram());
        folder_ = root_.path() / "app";
        work_ = root_.path() / "work";
        for (const char* name : {"★MailData", "添付フォルダ"})
            fs::create_directories(folder_ / name);
        fs::create_directories(work_);
        SettingsFiles settings{AppPaths(folder_)};
        ASSERT_TRUE(settings.writeLogin("NAME", FakePop3Mailbox::kUser).ok());
        ASSERT_TRUE(settings.writeLogin("NAME2", FakePop3Mailbox::kPassword).ok());
    }
    fs::path korumi() const { return work_ / "korumi.ini"; }
    void pointAt(const std::string& server) {
        fs::remove_all(korumi());
        std::ofstream(korumi(), std::ios::binary)
            << "SMTP=127.0.0.1\r\nPOP3=" << server << "\r\nMAIL=t@example.jp\r\nAPOP=0\r\n";
    }
    int runCheck(std::string* err) {
        ChildProcess process;
        process.setWorkingDirectory(work_);
        process.setEnv("TSUBAME_NET_TIMEOUT_MS", "3000");
        process.setEnv("TSUBAME_CA_FILE", std::nullopt);
        process.start(builtProgram().string(), {"--check", "--app-folder", folder_.string()});
        if (!process.waitForFinished(20000)) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        *err = process.readAllStandardError();
        return process.normalExit() ? process.exitCode() : -1;
    }

    TempFolder root_;
    fs::path folder_, work_;
};

TEST_F(CheckFailuresToldTest, EveryReasonReachesStandardErrorWithExitStatusOne) {
    FakePop3Mailbox mailbox;
    mailbox.add("waiting");
    const int port = closedPort();
    struct Case {
        const char* label;
        std::function<void()> setUp;
        std::string reason;  // a part of the text on standard error
    };
    const std::vector<Case> cases = {
        {"connection refused", [&] { pointAt("127.0.0.1:" + std::to_string(port)); },
         std::to_string(port)},
        {"unknown host", [&] { pointAt("no-such-host.invalid"); }, "no-such-host.invalid"},
        {"malformed server name", [&] { pointAt("127.0.0.1:port"); }, "サーバー名"},
        {"-ERR greeting",
         [&] {
             pointAt(mailbox.serverName());
             mailbox.arm({"greeting", MailboxFault::ErrReply});
         },
         "service not available"},
        {"no greeting",
         [&] {
             pointAt(mailbox.serverName());
             mailbox.arm({"greeting", MailboxFault::Drop});
         },
         "切断"},
        {"missing korumi.ini", [&] { fs::remove_all(korumi()); }, "がありません"},
        {"empty korumi.ini", [&] { std::ofstream(korumi(), std::ios::trunc); }, "空です"},
        {"korumi.ini a folder",
         [&] {
             fs::remove_all(korumi());
             fs::create_directory(korumi());
         },
         "普通のファイルではない"},
        {"korumi.ini a FIFO",
         [&] {
             fs::remove_all(korumi());
             ::mkfifo(korumi().c_str(), 0644);
         },
         "普通のファイルではない"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        c.setUp();
        std::string err;
        EXPECT_EQ(runCheck(&err), 1);
        EXPECT_NE(err.find("エラー: "), std::string::npos) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        mailbox.disarm();
    }
    EXPECT_EQ(mailbox.subjects(), std::vector<std::string>{"waiting"});
}

TEST_F(CheckFailuresToldTest, AnUntrustedCertificateIsToldNotTakenForAnEmptyMailbox) {
    DovecotServer server({.tls = true});
    TSUBAME_NEED_SERVER(server.ok(), "Dovecot could not start: " << server.log());
    SettingsFiles settings{AppPaths(folder_)};
    ASSERT_TRUE(settings.writeLogin("NAME", server.user()).ok());
    ASSERT_TRUE(settings.writeLogin("NAME2", server.password()).ok());
    server.deliver("Subject: kept\r\nFrom: a@example.jp\r\n\r\nbody\r\n");
    for (const std::string& name : {server.serverName(), server.tlsServerName()}) {
        SCOPED_TRACE(name);
        pointAt(name);
        std::string err;
        EXPECT_EQ(runCheck(&err), 1);
        EXPECT_NE(err.find("エラー: "), std::string::npos) << err;
        EXPECT_NE(err.find("certificate"), std::string::npos) << err;
    }
    EXPECT_EQ(server.messageCount(), 1);
}

}  // namespace
}  // namespace tsubame::testing
