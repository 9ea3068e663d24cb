// Servers that try to make the client reserve their numbers or wait for ever: absurd LIST
// sizes, and replies trickled one byte at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "maillib/module/nmail.h"
#include "support/pop3_fake_server.h"
#include "support/pop3_test_helpers.h"

namespace tsubame::testing {
namespace {

using namespace std::chrono_literals;

// Three mails; LIST gives mail 2 the hostile size. Every RETR and DELE is recorded.
void serveWithSizeOfMail2(FakePop3Server& server, FakeClient& client, const std::string& size,
                          bool pipelining) {
    servePop3(server, client,
              {.capa = pipelining ? "+OK\r\nPIPELINING\r\n.\r\n" : "-ERR\r\n",
               .stat = "+OK 3 300\r\n",
               .list = "+OK\r\n1 100\r\n2 " + size + "\r\n3 100\r\n.\r\n",
               .uidl = "+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n",
               .retr = [](FakeClient& c, const std::string&) {
                   return c.send("+OK\r\n" + simpleMail("s", "body") + "\r\n.\r\n");
               }});
}

TEST(Pop3HostileServerTest, AbsurdListSizeFailsThatMailOnlyAndReservesNothing) {
    for (bool pipelining : {false, true}) {
        for (const char* size : {"200000000000", "9000000000000000000", "9223372036854775807",
                                 "99999999999999999999999", "268435457"}) {
            SCOPED_TRACE(std::string(size) + (pipelining ? " pipelined" : ""));
            FakePop3Server server([&](FakeClient& client) {
                serveWithSizeOfMail2(server, client, size, pipelining);
            });
            auto library = createMailLibrary();
            const int handle = library->NMailPop3Connect(server.serverName().c_str());
            ASSERT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), 3);
            std::string s, d, f, h, b;
            for (int n = 1; n <= 3; ++n) {
                const int fetched = library->NMailPop3GetMail(handle, n, s, d, f, h, b, 0, 0);
                EXPECT_EQ(fetched, n == 2 ? -1 : 1) << n;
                if (n == 2) {
                    EXPECT_NE(lastLibraryMessage(*library).find("大きすぎる"), std::string::npos);
                }
                EXPECT_EQ(library->NMailPop3DeleteMail(handle, n), n == 2 ? -1 : 1) << n;
            }
            EXPECT_EQ(library->NMailPop3Close(handle), 1) << lastLibraryMessage(*library);
            std::vector<std::string> asked;
            for (const std::string& c : server.commands())
                if (c.starts_with("RETR") || c.starts_with("DELE")) asked.push_back(c);
            EXPECT_EQ(asked, (std::vector<std::string>{"RETR 1", "RETR 3", "DELE 1", "DELE 3"}));
        }
    }
}

// Sends text one byte every 50 ms, for at most 8 s.
void trickle(FakeClient& client, const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + 8s;
    for (std::size_t i = 0; std::chrono::steady_clock::now() < end; ++i) {
        if (!client.send(std::string(1, text[i % text.size()]))) return;
        std::this_thread::sleep_for(50ms);
    }
}

// Whatever count or size the server announced, a trickled answer ends at our own deadline.
TEST(Pop3HostileServerTest, TrickledAnswerEndsAtOurDeadlineWhateverWasAnnounced) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "600");
    // What trickles, and what the server announced before (a LIST answer, or a STAT answer).
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"greeting", ""},
        {"RETR", "+OK\r\n1 100\r\n.\r\n"},
        {"RETR", "+OK\r\n1 268435456\r\n.\r\n"},
        {"LIST", "+OK 1000000 1\r\n"}};
    for (const auto& [slow, announced] : cases) {
        SCOPED_TRACE(slow + " after " + announced);
        FakePop3Server server([&](FakeClient& client) {
            if (slow == "greeting") return trickle(client, "+OK slow greeting");
            Pop3Replies replies{.retr = [](FakeClient& c, const std::string&) {
                return c.send("+OK\r\n"), trickle(c, "Subject: slow\r\n"), false;
            }};
            (slow == "LIST" ? replies.stat : replies.list) = announced;
            replies.onCommand = [&](const std::string& command) {
                if (command != "LIST" || slow != "LIST") return true;
                return client.send("+OK\r\n"), trickle(client, "1 100\r\n"), false;
            };
            servePop3(server, client, replies);
        });
        auto library = createMailLibrary();
        const auto start = std::chrono::steady_clock::now();
        const int handle = library->NMailPop3Connect(server.serverName().c_str());
        std::string s, d, f, h, b;
        if (slow == "RETR") {
            ASSERT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), 1);
            // A time-out leaves the session unusable: the check must end, not go on.
            EXPECT_EQ(library->NMailPop3GetMail(handle, 1, s, d, f, h, b, 0, 0),
                      MailLibrary::kConnectionLost);
        } else if (handle != -1) {
            EXPECT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), -1);
        }
        EXPECT_EQ(handle == -1, slow == "greeting");
        EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
        EXPECT_NE(lastLibraryMessage(*library).find("時間切れ"), std::string::npos)
            << lastLibraryMessage(*library);
        if (handle != -1) library->NMailPop3Close(handle);
    }
}

// After a stop between two mails the close reads nothing asked ahead: with answers owed it
// ends the session without QUIT, otherwise it says QUIT at once. A send waiting for a silent
// server ends at once too.
TEST(Pop3HostileServerTest, AfterAnInterruptNothingIsReadAheadAndNoSendWaits) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "20000");
    for (const bool pipelined : {false, true}) {
        FakePop3Server server([&](FakeClient& client) {
            servePop3(server, client,
                      {.capa = pipelined ? "+OK\r\nPIPELINING\r\n.\r\n" : "-ERR\r\n",
                       .stat = "+OK 2 200\r\n",
                       .list = "+OK\r\n1 100\r\n2 100\r\n.\r\n",
                       .retr = [](FakeClient& c, const std::string& command) {
                           if (command == "RETR 1") return c.send("+OK\r\n.\r\n");
                           return c.send("+OK\r\n"), trickle(c, "slow\r\n"), false;
                       }});
        });
        auto library = createMailLibrary();
        const int handle = library->NMailPop3Connect(server.serverName().c_str());
        ASSERT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), 2);
        std::string s, d, f, h, b;
        ASSERT_EQ(library->NMailPop3GetMail(handle, 1, s, d, f, h, b, 0, 0), 1);
        library->NMailPop3DeleteMail(handle, 1);
        library->interrupt(MailLibrary::Work::Receiving);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(library->NMailPop3Close(handle), pipelined ? -1 : 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        EXPECT_EQ(std::ranges::count(server.commands(), "QUIT"), pipelined ? 0 : 1);
    }
    FakePop3Server silent([](FakeClient& client) { client.waitForClose(); });
    auto library = createMailLibrary();
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        library->interrupt(MailLibrary::Work::Sending);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(library->NMailSmtpSendMail(silent.bareServerName().c_str(), "a@example.com", nullptr,
                                         nullptr, "b@example.com", "s", "b", nullptr, "", 0),
              0);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1300ms);
    EXPECT_NE(lastLibraryMessage(*library).find("中止"), std::string::npos)
        << lastLibraryMessage(*library);
}

}  // namespace
}  // namespace tsubame::testing
