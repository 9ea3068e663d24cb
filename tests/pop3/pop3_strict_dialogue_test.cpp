// The POP3 dialogue against scripted servers that misbehave on purpose.
#include <gtest/gtest.h>
#include <openssl/x509_vfy.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <tuple>

#include "core/system_error_text.h"
#include "maillib/module/nmail.h"
#include "net/tls_context.h"
#include "support/pop3_fake_server.h"
#include "support/pop3_test_helpers.h"

namespace tsubame::testing {
namespace {

using namespace std::chrono_literals;

TEST(Pop3StrictDialogueTest, PlaintextInjectedBeforeTheTlsHandshakeIsRejected) {
    FakePop3Server server([&](FakeClient& client) {
        client.send("+OK ready\r\n");
        while (auto line = client.readLine()) {
            if (*line == "CAPA") client.send("+OK\r\nSTLS\r\nUSER\r\n.\r\n");
            if (*line == "STLS") {
                // The go-ahead and a forged answer in one packet.
                client.send("+OK begin TLS\r\n+OK 5 messages\r\n");
            }
        }
    });
    auto library = createMailLibrary();
    EXPECT_EQ(library->NMailPop3Connect(server.serverName().c_str()), -1);
    EXPECT_NE(lastLibraryMessage(*library).find("余分なデータ"), std::string::npos)
        << lastLibraryMessage(*library);
}

TEST(Pop3StrictDialogueTest, EndlessStatusLineEndsInAnErrorNotInMemoryExhaustion) {
    std::size_t sent = 0;
    {
        FakePop3Server server([&](FakeClient& client) {
            client.send("+OK ");
            const std::string chunk(1024 * 1024, 'A');
            for (int i = 0; i < 100 && client.send(chunk); ++i) {
            }
            sent = client.sentBytes();
        });
        auto library = createMailLibrary();
        EXPECT_EQ(library->NMailPop3Connect(server.serverName().c_str()), -1);
        EXPECT_NE(lastLibraryMessage(*library).find("長すぎます"), std::string::npos);
    }
    // The client hung up after a few kilobytes; most of the 100 MB could not even be sent.
    EXPECT_LT(sent, 20u * 1024 * 1024);
}

// System, libcurl and OpenSSL failures are told in Japanese first.
TEST(Pop3StrictDialogueTest, FailuresAreToldInJapanese) {
    auto library = createMailLibrary();
    EXPECT_EQ(library->NMailPop3Connect("pop3://127.0.0.1:1"), -1);
    const std::string pop3 = lastLibraryMessage(*library);
    EXPECT_LT(library->NMailSmtpSendMail("127.0.0.1:1", "a@example.com", nullptr, nullptr,
                                         "b@example.com", "s", "b", nullptr, "", 0),
              0);
    for (const auto& [text, words] :
         {std::pair{pop3, "127.0.0.1:1: 接続を拒否されました"},
          std::pair{lastLibraryMessage(*library), "(127.0.0.1:1): 接続できません（"},
          std::pair{systemErrorText(ENOSPC), "ディスクの空きがありません (No space"},
          std::pair{tlsVerifyErrorText(X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT), "自己署名"},
          std::pair{tlsVerifyErrorText(X509_V_ERR_CERT_HAS_EXPIRED), "有効期限が切れて"}})
        EXPECT_NE(text.find(words), std::string::npos) << text;
}

TEST(Pop3StrictDialogueTest, SilentServerTimesOut) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "300");
    FakePop3Server server([](FakeClient& client) { client.waitForClose(); });
    auto library = createMailLibrary();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(library->NMailPop3Connect(server.serverName().c_str()), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_NE(lastLibraryMessage(*library).find("時間切れ"), std::string::npos);
    EXPECT_NE(lastLibraryMessage(*library).find("pop3s://"), std::string::npos);  // a TLS port?
}

// USER, PASS and APOP leave in clear only for a name written with pop3://.
TEST(Pop3StrictDialogueTest, NoLoginInClearUnlessTheNameAllowsIt) {
    for (const bool plain : {false, true}) {
        for (const int apop : {0, -1}) {
            FakePop3Server server([&](FakeClient& client) {
                servePop3(server, client,
                          {.greeting = "+OK <1.2@h>\r\n",
                           .capa = apop ? "-ERR\r\n" : "+OK\r\nUSER\r\n.\r\n"});
            });
            auto library = createMailLibrary();
            const std::string name = plain ? server.serverName() : server.bareServerName();
            const int handle = library->NMailPop3Connect(name.c_str());
            EXPECT_EQ(library->NMailPop3Authenticate(handle, "u", "p", apop), plain ? 1 : -1);
            EXPECT_EQ(lastLibraryMessage(*library).find("pop3://" + name) == std::string::npos,
                      plain);
            library->NMailPop3Close(handle);
            std::string sent;
            for (const std::string& c : server.commands()) sent += c.substr(0, 4);
            EXPECT_EQ(sent == "CAPAQUIT", !plain) << sent;  // nothing else for a bare name
        }
    }
}

// Response codes (RFC 2449, RFC 3206) tell a busy mailbox from a refused login; a login sent
// together with the listing reads the refused listing too, and the close still works. What
// the server does after its refusal (hang up, a stray listing) never hides the refusal.
TEST(Pop3StrictDialogueTest, RefusedLoginTellsWhy) {
    enum After { Refuses, HangsUp, Lists };
    for (const bool pipelining : {false, true}) {
        for (const auto& [reply, result, told, after] :
             {std::tuple{"-ERR [IN-USE] Mailbox is locked by another POP3 session.\r\n",
                         MailLibrary::kMailboxBusy, "しばらくしてから", Refuses},
              std::tuple{"-ERR [AUTH] Authentication failed.\r\n", -1, "パスワードが違います",
                         Refuses},
              std::tuple{"-ERR [IN-USE] Mailbox is locked\r\n", MailLibrary::kMailboxBusy,
                         "しばらくしてから", HangsUp},
              std::tuple{"-ERR [AUTH] Authentication failed.\r\n", -1, "パスワードが違います",
                         HangsUp},
              std::tuple{"-ERR [SYS/TEMP] try later\r\n", MailLibrary::kMailboxBusy,
                         "しばらくしてから", Lists}}) {
            Pop3Replies replies{.pass = reply};
            if (pipelining) {
                replies.capa = "+OK\r\nPIPELINING\r\nUIDL\r\n.\r\n";
                replies.stat = replies.list = replies.uidl = "-ERR not logged in\r\n";
            }
            if (after == Lists) replies.stat = "+OK 0 0\r\n";
            if (after == HangsUp)
                replies.onCommand = [](const std::string& c) { return c != "STAT"; };
            replies.greeting = "+OK <1.2@h>\r\n";  // with an APOP timestamp
            FakePop3Server server([&](FakeClient& client) { servePop3(server, client, replies); });
            auto library = createMailLibrary();
            for (const int apop : {0, 1}) {
                const int handle = library->NMailPop3Connect(server.serverName().c_str());
                EXPECT_EQ(library->NMailPop3Authenticate(handle, "u", "p", apop), result);
                EXPECT_NE(lastLibraryMessage(*library).find(told), std::string::npos) << told;
                EXPECT_EQ(library->NMailPop3Close(handle), after == Refuses || !pipelining ? 1 : -1)
                    << pipelining << apop;
            }
        }
    }
}

TEST(Pop3StrictDialogueTest, ServerSilentDuringDownloadTimesOutAndKeepsTheMail) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "300");
    FakePop3Server server([&](FakeClient& client) {
        servePop3(server, client,
                  {.uidl = "+OK\r\n1 a\r\n.\r\n", .retr = [](FakeClient& c, const std::string&) {
                       return c.send("+OK\r\nSubject: x\r\n");  // stalls
                   }});
    });
    auto library = createMailLibrary();
    int handle = library->NMailPop3Connect(server.serverName().c_str());
    ASSERT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), 1);
    std::string s, d, f, h, b;
    // The session is over after a time-out: the check must not go on with the next mail.
    EXPECT_EQ(library->NMailPop3GetMail(handle, 1, s, d, f, h, b, nullptr, nullptr),
              MailLibrary::kConnectionLost);
    EXPECT_TRUE(b.empty()) << "no half mail in the buffers";
    EXPECT_EQ(library->NMailPop3DeleteMail(handle, 1), -1) << "a mail not received stays";
    EXPECT_EQ(library->NMailPop3Close(handle), -1);
    for (const std::string& c : server.commands()) {
        EXPECT_FALSE(c.starts_with("DELE") || c == "QUIT") << c;
    }
}

TEST(Pop3StrictDialogueTest, OversizedMailIsRefusedAndNotDeleted) {
    FakePop3Server server([&](FakeClient& client) {
        servePop3(server, client,
                  {.stat = "+OK 1 10\r\n",
                   .list = "+OK\r\n1 10\r\n.\r\n",
                   .retr = [](FakeClient& c, const std::string&) {
                       // Claimed 10 octets, sends megabytes of lines without end.
                       c.send("+OK\r\n");
                       const std::string lines(64 * 1024, 'x');
                       for (int i = 0; i < 200 && c.send(lines + "\r\n"); ++i) {
                       }
                       return false;
                   }});
    });
    auto library = createMailLibrary();
    int handle = library->NMailPop3Connect(server.serverName().c_str());
    ASSERT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), 1);
    EXPECT_EQ(library->NMailPop3GetMailSize(handle, 1), 10);
    EXPECT_EQ(library->NMailPop3GetUidl(handle, 1), "");
    std::string s, d, f, h, b;
    // The rest of the mail cannot be skipped, so the connection is given up.
    EXPECT_EQ(library->NMailPop3GetMail(handle, 1, s, d, f, h, b, nullptr, nullptr),
              MailLibrary::kConnectionLost);
    const std::string message = lastLibraryMessage(*library);
    EXPECT_NE(message.find("メールを取得できません"), std::string::npos) << message;
    EXPECT_NE(message.find("すぎます"), std::string::npos) << message;
    EXPECT_EQ(library->NMailPop3DeleteMail(handle, 1), -1);
    library->NMailPop3Close(handle);
}

TEST(Pop3StrictDialogueTest, ApopNeedsAWellFormedTimestamp) {
    for (const char* greeting :
         {"+OK ready <no-at-sign>\r\n", "+OK ready\r\n", "+OK ready <1.2@h\x80st>\r\n"}) {
        FakePop3Server server(
            [&](FakeClient& client) { servePop3(server, client, {.greeting = greeting}); });
        auto library = createMailLibrary();
        int handle = library->NMailPop3Connect(server.serverName().c_str());
        ASSERT_GT(handle, 0);
        EXPECT_LT(library->NMailPop3Authenticate(handle, "u", "p", -1), 0) << greeting;
        EXPECT_NE(lastLibraryMessage(*library).find("APOP"), std::string::npos);
        library->NMailPop3Close(handle);
        for (const std::string& c : server.commands()) EXPECT_FALSE(c.starts_with("APOP"));
    }
}

TEST(Pop3StrictDialogueTest, LineBreaksInTheLoginAreRefused) {
    FakePop3Server server([&](FakeClient& client) { servePop3(server, client, {}); });
    auto library = createMailLibrary();
    int handle = library->NMailPop3Connect(server.serverName().c_str());
    EXPECT_LT(library->NMailPop3Authenticate(handle, "u\r\nDELE 1", "p", 0), 0);
    library->NMailPop3Close(handle);
    for (const std::string& c : server.commands()) EXPECT_FALSE(c.starts_with("DELE")) << c;
}

// A pipelining server with 40 mails of 1 MB by LIST: reading mail 1 asks ahead for only a
// few MB, and the order of the answers is kept when the caller skips mails.
TEST(Pop3StrictDialogueTest, ReadAheadStaysWithinAFewMegabytes) {
    std::string list = "+OK\r\n";
    for (int n = 1; n <= 40; ++n) list += std::to_string(n) + " 1048576\r\n";
    FakePop3Server server([&](FakeClient& client) {
        servePop3(
            server, client,
            {.capa = "+OK\r\nPIPELINING\r\nUIDL\r\n.\r\n",
             .stat = "+OK 40 41943040\r\n",
             .list = list + ".\r\n",
             .uidl = "+OK\r\n.\r\n",
             .retr = [](FakeClient& c, const std::string& command) {
                 return c.send("+OK\r\nSubject: " + command.substr(5) + "\r\n\r\n..x\r\n.\r\n");
             }});
    });
    auto library = createMailLibrary();
    int handle = library->NMailPop3Connect(server.serverName().c_str());
    ASSERT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), 40);
    std::string s, d, f, h, b;
    ASSERT_EQ(library->NMailPop3GetMail(handle, 1, s, d, f, h, b, nullptr, nullptr), 1);
    EXPECT_EQ(h, "Subject: 1\r\n");
    EXPECT_EQ(b, ".x\r\n");
    ASSERT_EQ(library->NMailPop3GetMail(handle, 3, s, d, f, h, b, nullptr, nullptr), 1);
    EXPECT_EQ(h, "Subject: 3\r\n");
    ASSERT_EQ(library->NMailPop3GetMail(handle, 2, s, d, f, h, b, nullptr, nullptr), 1);
    EXPECT_EQ(h, "Subject: 2\r\n");
    EXPECT_EQ(library->NMailPop3Close(handle), 1);

    int retrs = 0;
    for (const std::string& c : server.commands()) retrs += c.starts_with("RETR") ? 1 : 0;
    // Mails 1-4, then 5 once 1 is read; mail 2 again out of order with 3-5 behind it.
    EXPECT_GE(retrs, 6);
    EXPECT_LE(retrs, 12) << "asked far beyond the window";
}

// A small POP3 server with two mails that drops the connection when it receives command
// number dropAt (counting from 1) instead of answering it. It notes whether a QUIT was
// answered, which is when a real server would delete the marked mails.
struct DroppingServer {
    int dropAt;
    bool pipelining;
    bool quitAnswered = false;
    FakePop3Server server{[this](FakeClient& client) { run(client); }};

    DroppingServer(int drop, bool pipe) : dropAt(drop), pipelining(pipe) {}

    void run(FakeClient& client) {
        int received = 0;
        servePop3(
            server, client,
            {.greeting = "+OK ready <1.2@host>\r\n",
             .capa = pipelining ? "+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n" : "+OK\r\nUIDL\r\n.\r\n",
             .stat = "+OK 2 40\r\n",
             .list = "+OK\r\n1 20\r\n2 20\r\n.\r\n",
             .uidl = "+OK\r\n1 a\r\n2 b\r\n.\r\n",
             .retr =
                 [](FakeClient& c, const std::string&) {
                     return c.send("+OK\r\nSubject: m\r\n\r\nbody\r\n.\r\n");
                 },
             .onCommand =
                 [&](const std::string& c) {
                     if (++received == dropAt) return false;
                     if (c == "QUIT") quitAnswered = true;
                     return true;
                 }});
    }
};

// The mail check of the client: connect, log in, read and mark every mail, close.
// Returns false when any call reported a failure.
bool runMailCheck(MailLibrary& library, const std::string& serverName) {
    int handle = library.NMailPop3Connect(serverName.c_str());
    if (handle < 0) return false;
    bool ok = true;
    int count = library.NMailPop3Authenticate(handle, "u", "p", 0);
    if (count < 0) ok = false;
    for (int n = 1; n <= count; ++n) {
        std::string s, d, f, h, b;
        ok &= library.NMailPop3GetMailStatus(handle, n, s, d, f, h, 0) == 1;
        ok &= library.NMailPop3GetMail(handle, n, s, d, f, h, b, nullptr, nullptr) == 1;
        ok &= library.NMailPop3DeleteMail(handle, n) == 1;
    }
    ok &= library.NMailPop3Close(handle) == 1;
    return ok;
}

TEST(Pop3StrictDialogueTest, DropAfterEachCommandInTurnEndsInAnErrorAndDeletesNothing) {
    for (bool pipelining : {false, true}) {
        // Commands of a full check: CAPA USER PASS STAT LIST UIDL RETR RETR DELE DELE QUIT.
        for (int dropAt = 1; dropAt <= 11; ++dropAt) {
            SCOPED_TRACE("pipelining " + std::to_string(pipelining) + ", drop at command " +
                         std::to_string(dropAt));
            auto library = createMailLibrary();
            bool ok;
            std::vector<std::string> commands;
            bool quitAnswered;
            {
                DroppingServer fake(dropAt, pipelining);
                ok = runMailCheck(*library, fake.server.serverName());
                commands = fake.server.commands();
                quitAnswered = fake.quitAnswered;
            }
            EXPECT_FALSE(ok);
            EXPECT_FALSE(quitAnswered);
            EXPECT_EQ(static_cast<int>(commands.size()), dropAt) << "no reconnection";
        }
        DroppingServer complete(100, pipelining);
        auto library = createMailLibrary();
        EXPECT_TRUE(runMailCheck(*library, complete.server.serverName()))
            << lastLibraryMessage(*library);
        std::vector<std::string> commands = complete.server.commands();
        EXPECT_EQ(commands.size(), 11u);
        EXPECT_TRUE(complete.quitAnswered);
    }
}

}  // namespace
}  // namespace tsubame::testing
