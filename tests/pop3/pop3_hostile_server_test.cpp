// Servers that try to make the client reserve their numbers or wait for ever: absurd LIST
// sizes, and replies trickled one byte at a time.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "maillib/nmail.h"
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

// Whatever count or size the server announces, a trickled answer ends at our own deadline.
TEST(Pop3HostileServerTest, TrickledAnswersEndAtOurDeadlineWhateverTheServerAnnounced) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "600");
    enum class Slow { Greeting, Listing, Mail };
    struct Case {
        const char* label;
        Slow slow;
        std::string stat = "+OK 1 100\r\n";
        std::string list = "+OK\r\n1 100\r\n.\r\n";
    };
    const std::vector<Case> cases = {
        {"greeting", Slow::Greeting},
        {"RETR", Slow::Mail},
        {"RETR listed as 256 MB", Slow::Mail, "+OK 1 100\r\n", "+OK\r\n1 268435456\r\n.\r\n"},
        {"LIST after STAT 1000000", Slow::Listing, "+OK 1000000 100000000\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePop3Server server([&](FakeClient& client) {
            if (c.slow == Slow::Greeting) return trickle(client, "+OK slow greeting");
            Pop3Replies replies{.stat = c.stat, .list = c.list, .retr = [](FakeClient& r, auto&) {
                                    r.send("+OK\r\n");
                                    trickle(r, "Subject: slow\r\n");
                                    return false;
                                }};
            replies.onCommand = [&](const std::string& command) {
                if (command != "LIST" || c.slow != Slow::Listing) return true;
                client.send("+OK\r\n");
                trickle(client, "1 100\r\n");
                return false;
            };
            servePop3(server, client, replies);
        });
        auto library = createMailLibrary();
        const auto start = std::chrono::steady_clock::now();
        const int handle = library->NMailPop3Connect(server.serverName().c_str());
        if (c.slow == Slow::Greeting) {
            EXPECT_EQ(handle, -1);
        } else if (c.slow == Slow::Listing) {
            EXPECT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), -1);
        } else {
            ASSERT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), 1);
            std::string s, d, f, h, b;
            // A time-out leaves the session unusable: the check must end, not go on.
            EXPECT_EQ(library->NMailPop3GetMail(handle, 1, s, d, f, h, b, 0, 0),
                      MailLibrary::kConnectionLost);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);
        EXPECT_NE(lastLibraryMessage(*library).find("時間切れ"), std::string::npos)
            << lastLibraryMessage(*library);
        if (handle != -1) library->NMailPop3Close(handle);
    }
}

// An interrupt from another thread ends the wait under way at once, whether the server is
// silent or sending a mail slowly; the close then reads nothing asked ahead, and says QUIT
// only when no answer is owed.
TEST(Pop3HostileServerTest, AnInterruptEndsTheWaitAtOnceAndTheCloseReadsNothingAhead) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "20000");
    enum class Wait { Greeting, SilentRetr, SlowRetr, AskedAhead, Nothing };
    struct Case {
        const char* label;
        Wait wait;
        std::vector<std::string> goodbye;  // what the close says
    };
    const std::vector<Case> cases = {
        {"silent greeting", Wait::Greeting, {}},
        {"silent RETR", Wait::SilentRetr, {}},
        {"slowly sent mail", Wait::SlowRetr, {}},
        {"mail 2 asked ahead", Wait::AskedAhead, {}},
        {"nothing owed", Wait::Nothing, {"DELE 1", "QUIT"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const bool ahead = c.wait == Wait::AskedAhead;
        FakePop3Server server([&](FakeClient& client) {
            if (c.wait == Wait::Greeting) return client.waitForClose();
            servePop3(server, client,
                      {.capa = ahead ? "+OK\r\nPIPELINING\r\n.\r\n" : "-ERR\r\n",
                       .stat = "+OK 2 200\r\n",
                       .list = "+OK\r\n1 100\r\n2 100\r\n.\r\n",
                       .retr = [&](FakeClient& r, const std::string& command) {
                           if (c.wait == Wait::SilentRetr) return r.waitForClose(), false;
                           if (command == "RETR 2" || c.wait == Wait::SlowRetr)
                               return r.send("+OK\r\n"), trickle(r, "slow\r\n"), false;
                           return r.send("+OK\r\n" + simpleMail("s", "b") + "\r\n.\r\n");
                       }});
        });
        auto library = createMailLibrary();
        // A stop while the library waits, or between two mails.
        const bool waiting = c.wait != Wait::AskedAhead && c.wait != Wait::Nothing;
        std::thread stopper([&] {
            if (!waiting) return;
            std::this_thread::sleep_for(300ms);
            library->interrupt(MailLibrary::Work::Receiving);
        });
        auto start = std::chrono::steady_clock::now();
        const int handle = library->NMailPop3Connect(server.serverName().c_str());
        std::string s, d, f, h, b;
        if (c.wait != Wait::Greeting) {
            ASSERT_EQ(library->NMailPop3Authenticate(handle, "u", "p", 0), 2);
            EXPECT_EQ(library->NMailPop3GetMail(handle, 1, s, d, f, h, b, 0, 0),
                      waiting ? MailLibrary::kConnectionLost : 1);
            if (!waiting) {
                EXPECT_EQ(library->NMailPop3DeleteMail(handle, 1), 1);
            }
        }
        if (!waiting) library->interrupt(MailLibrary::Work::Receiving);
        stopper.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1300ms);
        if (waiting) {
            EXPECT_NE(lastLibraryMessage(*library).find("中止"), std::string::npos);
        }
        start = std::chrono::steady_clock::now();
        if (handle != -1) {
            EXPECT_EQ(library->NMailPop3Close(handle) == 1, !c.goodbye.empty());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
        std::vector<std::string> said;
        for (const std::string& command : server.commands())
            if (command == "QUIT" || command.starts_with("DELE")) said.push_back(command);
        EXPECT_EQ(said, c.goodbye);
    }
}

// A send waiting for a silent SMTP server ends at once too.
TEST(Pop3HostileServerTest, AnInterruptEndsASendAtOnce) {
    ScopedEnv timeout("TSUBAME_NET_TIMEOUT_MS", "20000");
    FakePop3Server silent([](FakeClient& client) { client.waitForClose(); });
    auto library = createMailLibrary();
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        library->interrupt(MailLibrary::Work::Sending);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_LT(library->NMailSmtpSendMail(silent.serverName().c_str(), "a@example.com", nullptr,
                                         nullptr, "b@example.com", "s", "b", nullptr, "", 0),
              0);
    stopper.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1300ms);
    EXPECT_NE(lastLibraryMessage(*library).find("中止"), std::string::npos)
        << lastLibraryMessage(*library);
}

}  // namespace
}  // namespace tsubame::testing
