// The mail library against a real Dovecot POP3 server on loopback.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "maillib/module/nmail.h"
#include "support/mail_servers.h"
#include "support/pop3_test_helpers.h"

namespace tsubame::testing {
namespace {

class Pop3DovecotTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TSUBAME_NEED_SERVER(server_.ok(), "Dovecot could not start: " << server_.log());
        library_->NMailInitializeWinSock();
    }

    int connectAndLogin(bool apop = false) {
        int handle = library_->NMailPop3Connect(server_.serverName().c_str());
        EXPECT_GT(handle, 0) << lastLibraryMessage(*library_);
        if (handle <= 0) return handle;
        int count = library_->NMailPop3Authenticate(handle, server_.user().c_str(),
                                                    server_.password().c_str(), apop ? -1 : 0);
        EXPECT_GE(count, 0) << lastLibraryMessage(*library_);
        return handle;
    }

    struct Fetched {
        std::string subject, header, body;
    };
    Fetched fetch(int handle, int n) {
        Fetched f;
        std::string date, from, header2;
        EXPECT_EQ(library_->NMailPop3GetMailStatus(handle, n, f.subject, date, from, f.header, 0),
                  1)
            << lastLibraryMessage(*library_);
        std::string s, d, fr;
        EXPECT_EQ(
            library_->NMailPop3GetMail(handle, n, s, d, fr, header2, f.body, nullptr, nullptr), 1);
        EXPECT_EQ(header2, f.header);
        return f;
    }

    DovecotServer server_;
    std::unique_ptr<MailLibrary> library_ = createMailLibrary();
};

TEST_F(Pop3DovecotTest, PlainLoginGivesThreeMailsInServerOrderWithSizesAndUids) {
    for (int i = 1; i <= 3; ++i) {
        server_.deliver(simpleMail("Mail " + std::to_string(i),
                                   "Body " + std::to_string(i) + "\r\n.dotted line\r\n"));
    }
    int handle = library_->NMailPop3Connect(server_.serverName().c_str());
    ASSERT_GT(handle, 0) << lastLibraryMessage(*library_);
    ASSERT_EQ(library_->NMailPop3Authenticate(handle, "tester", "secret", 0), 3)
        << lastLibraryMessage(*library_);

    std::vector<std::string> uids;
    for (int n = 1; n <= 3; ++n) {
        Fetched mail = fetch(handle, n);
        const std::string number = std::to_string(n);
        EXPECT_NE(mail.header.find("Subject: Mail " + number + "\r\n"), std::string::npos);
        EXPECT_TRUE(mail.header.ends_with("\r\n"));
        EXPECT_EQ(mail.header.find("\r\n\r\n"), std::string::npos) << "blank line not in header";
        // Dot-unstuffed body, exactly as delivered.
        EXPECT_EQ(mail.body, "Body " + number + "\r\n.dotted line\r\n");
        EXPECT_EQ(library_->NMailPop3GetMailSize(handle, n),
                  static_cast<int>(mail.header.size() + 2 + mail.body.size()));
        uids.push_back(library_->NMailPop3GetUidl(handle, n));
        EXPECT_FALSE(uids.back().empty());
    }
    EXPECT_NE(uids[0], uids[1]);
    EXPECT_NE(uids[1], uids[2]);
    EXPECT_EQ(library_->NMailPop3GetMailSize(handle, 4), -1);
    EXPECT_EQ(library_->NMailPop3Close(handle), 1);
    EXPECT_EQ(server_.messageCount(), 3) << "nothing was marked";
}

TEST_F(Pop3DovecotTest, ApopLoginWorksAndCountsZeroOnEmptyMailbox) {
    int handle = library_->NMailPop3Connect(server_.serverName().c_str());
    ASSERT_GT(handle, 0) << lastLibraryMessage(*library_);
    EXPECT_EQ(library_->NMailPop3Authenticate(handle, "tester", "secret", -1), 0)
        << lastLibraryMessage(*library_);
    EXPECT_EQ(library_->NMailPop3Close(handle), 1);
}

TEST_F(Pop3DovecotTest, WrongPasswordFailsWithTextThatSaysSo) {
    server_.deliver(simpleMail("kept", "x\r\n"));
    for (int apop : {0, -1}) {
        int handle = library_->NMailPop3Connect(server_.serverName().c_str());
        ASSERT_GT(handle, 0);
        EXPECT_LT(library_->NMailPop3Authenticate(handle, "tester", "wrong", apop), 0);
        std::string message = lastLibraryMessage(*library_);
        EXPECT_NE(message.find("ログインできません"), std::string::npos) << message;
        EXPECT_NE(message.find("-ERR"), std::string::npos) << "server reply shown: " << message;
        library_->NMailPop3Close(handle);
    }
    EXPECT_EQ(server_.messageCount(), 1);
}

TEST_F(Pop3DovecotTest, UnreachableServerGivesMinusOneAndText) {
    int port = findFreePort();
    EXPECT_EQ(library_->NMailPop3Connect(("127.0.0.1:" + std::to_string(port)).c_str()), -1);
    EXPECT_NE(lastLibraryMessage(*library_).find("POP3サーバーに接続できません"),
              std::string::npos);
    EXPECT_EQ(library_->NMailPop3Connect("bad host name!"), -1);
}

TEST_F(Pop3DovecotTest, MarksTakeEffectOnlyAtClose) {
    for (int i = 1; i <= 3; ++i) server_.deliver(simpleMail("M" + std::to_string(i), "b\r\n"));
    int handle = connectAndLogin();
    for (int n = 1; n <= 3; ++n) {
        fetch(handle, n);
        EXPECT_EQ(library_->NMailPop3DeleteMail(handle, n), 1);
    }
    EXPECT_EQ(server_.messageCount(), 3);
    EXPECT_EQ(library_->NMailPop3Close(handle), 1) << lastLibraryMessage(*library_);
    EXPECT_EQ(server_.messageCount(), 0);
}

TEST_F(Pop3DovecotTest, ConnectionDroppedBeforeCloseDeletesNothing) {
    for (int i = 1; i <= 3; ++i) server_.deliver(simpleMail("M" + std::to_string(i), "b\r\n"));
    int handle = connectAndLogin();
    for (int n = 1; n <= 3; ++n) {
        fetch(handle, n);
        library_->NMailPop3DeleteMail(handle, n);
    }
    library_->NMailEndWinSock();  // ends the session without QUIT
    library_ = createMailLibrary();
    handle = connectAndLogin();
    EXPECT_EQ(library_->NMailPop3Authenticate(handle, "tester", "secret", 0), -1)
        << "a second login on one connection is refused";
    library_->NMailPop3Close(handle);
    EXPECT_EQ(server_.messageCount(), 3);
}

// Reads every mail with pipelining on or off; the results must not differ.
std::vector<std::string> readAll(DovecotServer& server, bool pipelining, bool outOfOrder) {
    ScopedEnv env("TSUBAME_POP3_PIPELINING", pipelining ? "1" : "0");
    auto library = createMailLibrary();
    int handle = library->NMailPop3Connect(server.serverName().c_str());
    int count = library->NMailPop3Authenticate(handle, "tester", "secret", 0);
    std::vector<std::string> mails(count > 0 ? count : 0);
    std::vector<int> order;
    for (int n = 1; n <= count; ++n) order.push_back(n);
    if (outOfOrder) std::swap(order[0], order[count - 1]);
    for (int n : order) {
        std::string s, d, f, h, b;
        library->NMailPop3GetMail(handle, n, s, d, f, h, b, nullptr, nullptr);
        mails[n - 1] = h + "|" + b;
    }
    library->NMailPop3Close(handle);
    return mails;
}

TEST_F(Pop3DovecotTest, PipeliningGivesTheSameMailsAsOneCommandAtATime) {
    for (int i = 1; i <= 25; ++i) {
        server_.deliver(simpleMail(std::string("P") + std::to_string(i),
                                   std::string(i * 997, 'a' + i % 26) + "\r\n"));
    }
    std::vector<std::string> plain = readAll(server_, false, false);
    ASSERT_EQ(plain.size(), 25u);
    for (int i = 0; i < 25; ++i) {
        EXPECT_NE(plain[i].find("Subject: P" + std::to_string(i + 1) + "\r\n"), std::string::npos);
    }
    EXPECT_EQ(readAll(server_, true, false), plain);
    EXPECT_EQ(readAll(server_, true, true), plain);
}

TEST_F(Pop3DovecotTest, PipelinedDeletesRemoveOnlyTheMarkedMails) {
    for (int i = 1; i <= 6; ++i) server_.deliver(simpleMail("D" + std::to_string(i), "b\r\n"));
    int handle = connectAndLogin();
    for (int n : {2, 4, 5}) {
        fetch(handle, n);
        EXPECT_EQ(library_->NMailPop3DeleteMail(handle, n), 1);
    }
    EXPECT_EQ(library_->NMailPop3DeleteMail(handle, 7), -1);
    EXPECT_EQ(library_->NMailPop3Close(handle), 1);
    EXPECT_EQ(library_->NMailPop3Close(handle), -1) << "the handle is gone";

    handle = library_->NMailPop3Connect(server_.serverName().c_str());
    ASSERT_EQ(library_->NMailPop3Authenticate(handle, "tester", "secret", 0), 3);
    std::string subjects;
    for (int n = 1; n <= 3; ++n) {
        std::string s, d, f, h, b;
        library_->NMailPop3GetMail(handle, n, s, d, f, h, b, nullptr, nullptr);
        subjects += h.substr(h.find("Subject: ") + 9, 2) + " ";
    }
    EXPECT_EQ(subjects, "D1 D3 D6 ");
    library_->NMailPop3Close(handle);
}

TEST_F(Pop3DovecotTest, LongHeaderIsCutForTheBufferButDecodingSeesAllOfIt) {
    std::string header = "From: sender@example.com\r\nSubject: long\r\n";
    for (int i = 0; header.size() < 12000; ++i) {
        header += "X-Filler-" + std::to_string(i) + ": " + std::string(70, 'x') + "\r\n";
    }
    header +=
        "X-Marker: past-the-cut\r\nMIME-Version: 1.0\r\n"
        "Content-Type: text/plain; charset=us-ascii\r\n"
        "Content-Transfer-Encoding: base64\r\n";
    const std::string encodedBody = "ZGVjb2RlZCB0ZXh0\r\n";  // "decoded text"
    server_.deliver(header + "\r\n" + encodedBody);
    int handle = connectAndLogin();
    std::string s, d, f, h, b;
    ASSERT_EQ(library_->NMailPop3GetMail(handle, 1, s, d, f, h, b, nullptr, nullptr), 1);
    EXPECT_LE(h.size(), 8191u);
    EXPECT_EQ(h.find("X-Marker"), std::string::npos);
    EXPECT_EQ(b, encodedBody);

    // The caller rebuilds the mail from the cut buffers; the library decodes the whole one.
    TempFolder folder;
    std::string raw = h + "\r\n" + b + "\r\n";
    library_->NMailAttachmentFileFirst(0, s, d, f, h, b, folder.path().c_str(),
                                       (folder / "0.txt").c_str(), raw.c_str(), 0);
    EXPECT_LE(h.size(), 8191u);
    EXPECT_NE(b.find("decoded text"), std::string::npos) << b;
    library_->NMailPop3Close(handle);
}

}  // namespace
}  // namespace tsubame::testing
