// The check's stages: a mail is stored as soon as it and the mails before it are decoded.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "receive/mail_check.h"
#include "support/child_process.h"
#include "support/real_library_check_fixture.h"

namespace tsubame::testing {
namespace {

class CountingHost : public MailCheckHost {
  public:
    void checkStarted() override {}
    void loginRead(const std::string&, const std::string&) override {}
    void loginMissing() override {}
    void notice(const std::string&, const std::string&) override {}
    void stage(const StagedMail&) override {}
    void progress(int done, int) override { done_ = done; }
    std::atomic<int> done_ = 0;
};

using MailCheckStagesTest = RealLibraryCheckTest;

TEST_F(MailCheckStagesTest, AMailIsStoredAndCountedWhileALaterOneIsStillDownloading) {
    // The first mail takes longer to decode than the second to download.
    FakePop3Mailbox box;
    for (const std::size_t padding : {600 << 10, 100, 100}) box.add("mail", padding);
    box.holdRetr(3);
    state_->account.Pop3Server = box.serverName();
    CountingHost host;
    std::thread check([&] { state_->check(*library_, host); });
    // Within the library's time-out, which would end the held download.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    while (host.done_ < 2 && std::chrono::steady_clock::now() < until) sleepMs(5);
    EXPECT_EQ(host.done_, 2);
    EXPECT_EQ(state_->receivedStore().count(), 2);
    box.release();
    check.join();
    EXPECT_EQ(state_->receivedStore().count(), 3);
}

}  // namespace
}  // namespace tsubame::testing
