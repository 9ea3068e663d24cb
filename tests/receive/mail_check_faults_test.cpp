// The whole mail check, with the real mail library and store, against servers and disks that
// fail: a connection dropped at every step, an endless status line, plaintext injected after
// the STLS go-ahead, failing writes and a file size limit. Whatever fails, every mail is
// either still on the server or whole in the store, and a following complete check stores
// each mail exactly once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "receive/mail_check.h"
#include "settings/settings_files.h"
#include "store/received_mail_store.h"
#include "support/built_program.h"
#include "support/child_process.h"
#include "support/mail_servers.h"
#include "support/real_library_check_fixture.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using MailboxFault = FakePop3Mailbox::FaultKind;
using IoFault = tsubame::FaultKind;

class MailCheckFaultsTest : public RealLibraryCheckTest {
  protected:
    // One check against the mailbox; no fault may make it hang.
    MailCheckResult check(FakePop3Mailbox& box) {
        state_->account.Pop3Server = box.serverName();
        host_.clear();
        const auto start = std::chrono::steady_clock::now();
        const MailCheckResult outcome = state_->check(*library_, host_);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 15s) << "the check hung";
        return outcome;
    }

    // Puts count mails "<label> k" on the server and notes them as expected in the store.
    Strings deliver(FakePop3Mailbox& box, const std::string& label, int count,
                    std::size_t padding = 3000) {
        Strings subjects;
        for (int k = 1; k <= count; ++k) {
            subjects.push_back(label + " mail " + std::to_string(k));
            box.add(subjects.back(), padding);
        }
        everyMail_.insert(everyMail_.end(), subjects.begin(), subjects.end());
        return subjects;
    }

    // How often each subject is in the store; every record must be whole and belong to its
    // subject, and the file must hold whole records only.
    std::map<std::string, int> storedCounts() const {
        std::map<std::string, int> counts;
        const ReceivedMailStore store = state_->receivedStore();
        for (const ReceivedMailRecord& record : store.readAll()) {
            const std::string subject(record.subject());
            ++counts[subject];
            EXPECT_EQ(record.inUse(), 1) << subject;
            EXPECT_TRUE(record.body().starts_with("body of " + subject)) << record.body();
        }
        std::error_code error;
        const auto size = fs::file_size(state_->paths.receivedStore(), error);
        if (!error) {
            EXPECT_EQ(size % ReceivedMailRecord::kSize, 0u) << "a partial record";
        }
        return counts;
    }

    // After a failed check: each of these mails is on the server or in the store, not both
    // stored twice.
    void expectNothingLost(FakePop3Mailbox& box, const Strings& subjects) {
        const std::map<std::string, int> stored = storedCounts();
        const Strings onServer = box.subjects();
        for (const std::string& subject : subjects) {
            const auto it = stored.find(subject);
            const int times = it == stored.end() ? 0 : it->second;
            EXPECT_LE(times, 1) << subject;
            const bool kept =
                std::find(onServer.begin(), onServer.end(), subject) != onServer.end();
            EXPECT_TRUE(times == 1 || kept) << subject << " is gone from the server unstored";
        }
    }

    // A following complete check empties the server; the store then holds every mail ever
    // delivered exactly once, and nothing else.
    void expectCompleteCheckStoresEachOnce(FakePop3Mailbox& box) {
        const MailCheckResult outcome = check(box);
        EXPECT_TRUE(outcome.completed) << firstBoxText();
        EXPECT_TRUE(box.subjects().empty());
        std::map<std::string, int> expected;
        for (const std::string& subject : everyMail_) expected[subject] = 1;
        EXPECT_EQ(storedCounts(), expected);
    }

    // A failure shown to the user: one box titled "エラー" with a text.
    void expectErrorBox() {
        ASSERT_FALSE(host_.notices.empty());
        EXPECT_EQ(host_.notices[0].title, "エラー");
        EXPECT_NE(host_.notices[0].text.find_first_not_of(" \r\n"), std::string::npos);
    }
    std::string firstBoxText() const { return host_.notices.empty() ? "" : host_.notices[0].text; }

    Strings everyMail_;
};

// With and without pipelined commands (the client sends RETRs ahead and the DELEs with QUIT).
class DroppedConnectionTest : public MailCheckFaultsTest,
                              public ::testing::WithParamInterface<bool> {};

TEST_P(DroppedConnectionTest, AtEveryStepNothingIsLostOrStoredTwice) {
    ScopedEnv pipelining("TSUBAME_POP3_PIPELINING", GetParam() ? "1" : "0");
    FakePop3Mailbox box({.pipelining = GetParam()});
    const std::vector<FakePop3Mailbox::Fault> faults = {
        {"greeting"}, {"CAPA"},   {"USER"},   {"PASS"},   {"STAT"},
        {"LIST"},     {"UIDL"},   {"RETR 1"}, {"RETR 2"}, {"RETR 3"},
        {"DELE 1"},   {"DELE 2"}, {"DELE 3"}, {"QUIT"},   {"QUIT", MailboxFault::DropAfterCommit}};
    for (const auto& fault : faults) {
        const bool committed = fault.kind == MailboxFault::DropAfterCommit;
        const std::string label = fault.command + (committed ? " committed" : "");
        SCOPED_TRACE(label);
        const Strings subjects = deliver(box, label, 3);
        box.arm(fault);

        const MailCheckResult outcome = check(box);
        ASSERT_TRUE(box.faultStruck());
        EXPECT_FALSE(outcome.completed);
        // Marked mails leave the server only when it processes QUIT.
        EXPECT_EQ(box.subjects(), committed ? Strings{} : subjects);
        expectNothingLost(box, subjects);
        // Whatever the step, the library's text is shown: a connection that failed is no
        // empty mailbox.
        expectErrorBox();
        expectCompleteCheckStoresEachOnce(box);
    }
}

INSTANTIATE_TEST_SUITE_P(Pop3, DroppedConnectionTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Pipelined" : "OneByOne"; });

TEST_F(MailCheckFaultsTest, EndlessStatusLineEndsTheCheckWithoutExhaustingMemory) {
    FakePop3Mailbox box;
    for (const char* command : {"greeting", "PASS", "LIST", "RETR 2", "QUIT"}) {
        SCOPED_TRACE(command);
        const Strings subjects = deliver(box, std::string("endless ") + command, 3);
        box.arm({command, MailboxFault::EndlessStatusLine});

        const MailCheckResult outcome = check(box);
        ASSERT_TRUE(box.faultStruck());
        EXPECT_FALSE(outcome.completed);
        EXPECT_EQ(box.subjects(), subjects);
        expectNothingLost(box, subjects);
        if (std::string(command) != "greeting") expectErrorBox();
        // The server's session ends once the client has hung up.
        for (int wait = 0; wait < 500 && box.endlessBytesSent() == 0; ++wait)
            std::this_thread::sleep_for(10ms);
        EXPECT_GT(box.endlessBytesSent(), 0u);
        EXPECT_LT(box.endlessBytesSent(), 16u << 20) << "the client read on and on";
        expectCompleteCheckStoresEachOnce(box);
    }
}

TEST_F(MailCheckFaultsTest, PlaintextInjectedAfterTheStlsGoAheadStopsTheCheckBeforeTheLogin) {
    using Injection = FakePop3Mailbox::StlsInjection;
    for (Injection injection : {Injection::SamePacket, Injection::SeparateWrite}) {
        SCOPED_TRACE(injection == Injection::SamePacket ? "same packet" : "separate write");
        FakePop3Mailbox box({.stls = injection});
        const Strings subjects = deliver(box, "stls", 2);

        const MailCheckResult outcome = check(box);
        EXPECT_FALSE(outcome.completed);
        EXPECT_EQ(outcome.count, 0) << "the forged answer reached the check";
        const Strings commands = box.commands();
        EXPECT_NE(std::find(commands.begin(), commands.end(), "STLS"), commands.end());
        for (const std::string& command : commands) {
            EXPECT_FALSE(command.starts_with("USER") || command.starts_with("PASS"))
                << "the login went out in plain text: " << command;
        }
        EXPECT_EQ(box.subjects(), subjects);
        EXPECT_TRUE(storedCounts().empty());
    }
}

TEST_F(MailCheckFaultsTest, MailsSharingAUniqueIdAreEachStored) {
    FakePop3Mailbox box;
    box.add("twin mail 1", 100, "same-id");
    box.add("twin mail 2", 100, "same-id");
    box.add("twin mail 3", 100);
    everyMail_ = {"twin mail 1", "twin mail 2", "twin mail 3"};
    expectCompleteCheckStoresEachOnce(box);

    // The same after a check that stopped between the twins.
    box.add("again mail 1", 100, "again-id");
    box.add("again mail 2", 100, "again-id");
    everyMail_.insert(everyMail_.end(), {"again mail 1", "again mail 2"});
    box.arm({"RETR 2"});
    EXPECT_FALSE(check(box).completed);
    expectNothingLost(box, {"again mail 1", "again mail 2"});
    check(box);
    EXPECT_TRUE(box.subjects().empty());
    const std::map<std::string, int> stored = storedCounts();
    for (const std::string& subject : everyMail_) EXPECT_GE(stored.count(subject), 1u) << subject;
}

TEST_F(MailCheckFaultsTest, LostQuitReplyNeitherStoresTwiceNorTakesANewMailForAnOldOne) {
    // Without ids the server kept the mails; with ids it removed them and then gave a new mail
    // an old id. Either way only the content tells the journaled mails from others.
    for (const bool uidl : {false, true}) {
        SCOPED_TRACE(uidl ? "UIDL" : "no UIDL");
        FakePop3Mailbox box({.uidl = uidl});
        const std::string label = uidl ? "ids" : "no ids";
        box.add(label + " mail 1", 100, label + "-1");
        box.add(label + " mail 2", 100, label + "-2");
        everyMail_.insert(everyMail_.end(), {label + " mail 1", label + " mail 2"});
        box.arm({"QUIT", uidl ? MailboxFault::DropAfterCommit : MailboxFault::Drop});
        EXPECT_FALSE(check(box).completed);
        EXPECT_EQ(box.subjects().size(), uidl ? 0u : 2u);
        if (uidl) {
            box.add(label + " mail 3", 100, label + "-1");
            everyMail_.push_back(label + " mail 3");
        }
        expectCompleteCheckStoresEachOnce(box);
    }
}

TEST_F(MailCheckFaultsTest, AbsurdListedSizeLeavesThatMailOnTheServerAndTheCheckAlive) {
    for (const char* size : {"200000000000", "9000000000000000000", "99999999999999999999"}) {
        SCOPED_TRACE(size);
        FakePop3Mailbox box;
        const Strings subjects = deliver(box, std::string("size ") + size, 3);
        box.listSizeAs(subjects[2], size);
        EXPECT_FALSE(check(box).completed);
        expectErrorBox();
        EXPECT_EQ(box.subjects(), Strings{subjects[2]});
        expectNothingLost(box, subjects);
        EXPECT_EQ(storedCounts().count(subjects[2]), 0u);
    }
}

TEST_F(MailCheckFaultsTest, FailedFlushHangsUpWithoutQuitAndRemovesNothing) {
    FakePop3Mailbox box;
    const Strings subjects = deliver(box, "flush", 2);
    injectFault(IoFault::Sync, 1, EIO);
    EXPECT_FALSE(check(box).completed);
    clearInjectedFaults();
    expectErrorBox();
    // The client hangs up at once instead of keeping the session for the rest of the run.
    const auto hungUp = [&] {
        const Strings commands = box.commands();
        return std::find(commands.begin(), commands.end(), "(hung up)") != commands.end();
    };
    for (int wait = 0; wait < 300 && !hungUp(); ++wait) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(hungUp());
    for (const std::string& command : box.commands())
        EXPECT_FALSE(command.starts_with("DELE") || command == "QUIT") << command;
    EXPECT_EQ(box.subjects(), subjects);
    expectCompleteCheckStoresEachOnce(box);
}

// True when a fault planned with this countdown has not struck yet: one of the next
// countdown operations of its kind on a scratch file fails.
bool faultStillPending(IoFault kind, int countdown, const fs::path& scratch) {
    UniqueFd fd = openFile(scratch, O_RDWR | O_CREAT | O_TRUNC);
    bool pending = false;
    for (int i = 0; i < countdown && !pending; ++i)
        pending = !(kind == IoFault::Write ? writeAt(fd.get(), "x", 1, 0) : syncFd(fd.get()));
    clearInjectedFaults();
    fs::remove(scratch);
    return pending;
}

// As SQLite's I/O-error tests do: the Nth write (or flush) of a check fails, for N = 1, 2, …
// until a check gets through without reaching the fault.
TEST_F(MailCheckFaultsTest, FailingNthWriteOrFlushKeepsEachMailOnTheServerOrInTheStore) {
    FakePop3Mailbox box;
    const fs::path scratch = root() / "probe";
    for (IoFault kind : {IoFault::Write, IoFault::Sync}) {
        bool checkOutranTheFault = false;
        for (int n = 1; n <= 60 && !checkOutranTheFault; ++n) {
            const std::string label =
                std::string(kind == IoFault::Write ? "write " : "sync ") + std::to_string(n);
            SCOPED_TRACE(label);
            const Strings subjects = deliver(box, label, 3);
            injectFault(kind, n, kind == IoFault::Write ? ENOSPC : EIO);
            const MailCheckResult outcome = check(box);
            checkOutranTheFault = faultStillPending(kind, n, scratch);

            expectNothingLost(box, subjects);
            if (checkOutranTheFault) {
                EXPECT_TRUE(outcome.completed);
                EXPECT_TRUE(box.subjects().empty());
            }
            if (!outcome.completed) {
                expectErrorBox();
                EXPECT_TRUE(firstBoxText().find("保存できません") != std::string::npos ||
                            firstBoxText().find("書き込めません") != std::string::npos)
                    << firstBoxText();
            }
            expectCompleteCheckStoresEachOnce(box);
        }
        EXPECT_TRUE(checkOutranTheFault) << "the check never got past its writes";
    }
}

// tsubame --check against Dovecot under a file size limit that the third record crosses.
TEST_F(MailCheckFaultsTest, FileSizeLimitStopsTheCheckCommandAndKeepsTheRestOnTheServer) {
    DovecotServer server;
    TSUBAME_NEED_SERVER(server.ok(), "Dovecot could not start: " << server.log());
    TSUBAME_NEED_SERVER(fs::exists(builtProgram()), "no program at " << builtProgram());
    const fs::path work = root() / "work";
    fs::create_directories(work);
    std::ofstream(work / "korumi.ini", std::ios::binary)
        << "SMTP=127.0.0.1\r\nPOP3=" << server.serverName()
        << "\r\nMAIL=tester@example.jp\r\nAPOP=0\r\n";
    SettingsFiles settings(state_->paths);
    ASSERT_TRUE(settings.writeLogin("NAME", server.user()).ok());
    ASSERT_TRUE(settings.writeLogin("NAME2", server.password()).ok());
    for (int k = 1; k <= 4; ++k)
        server.deliver("Subject: limited " + std::to_string(k) +
                       "\r\nFrom: a@example.jp\r\n\r\nbody of limited " + std::to_string(k) +
                       "\r\n");

    auto runCheck = [&](rlim_t limit, std::string* err) {
        ChildProcess process;
        process.setWorkingDirectory(work);
        process.setChildProcessModifier([limit] {
            // Past the limit a write fails with EFBIG instead of killing the process.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit bound{limit, limit};
            ::setrlimit(RLIMIT_FSIZE, &bound);
        });
        process.start(builtProgram().string(), {"--check", "--app-folder", folder_.string()});
        if (!process.waitForFinished(60000)) return -1;
        *err = process.readAllStandardError();
        return process.normalExit() ? process.exitCode() : -1;
    };

    std::string err;
    EXPECT_EQ(runCheck(2 * ReceivedMailRecord::kSize + ReceivedMailRecord::kSize / 2, &err), 1);
    EXPECT_NE(err.find("保存できませんでした"), std::string::npos) << err;
    EXPECT_EQ(fs::file_size(state_->paths.receivedStore()), 2 * ReceivedMailRecord::kSize);
    EXPECT_EQ(server.messageCount(), 2) << "the two unstored mails stay on the server";

    EXPECT_EQ(runCheck(RLIM_INFINITY, &err), 0) << err;
    EXPECT_EQ(server.messageCount(), 0);
    std::map<std::string, int> expected;
    for (int k = 1; k <= 4; ++k) expected["limited " + std::to_string(k)] = 1;
    std::map<std::string, int> stored;
    for (const ReceivedMailRecord& record : state_->receivedStore().readAll())
        ++stored[std::string(record.subject())];
    EXPECT_EQ(stored, expected);
}

}  // namespace
}  // namespace tsubame::testing
