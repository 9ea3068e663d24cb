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
    void downloading(int done, int total, std::int64_t received, std::int64_t listed) override {
        downloads_.push_back({done, total, received, listed});
    }
    std::atomic<int> done_ = 0;
    std::vector<std::vector<std::int64_t>> downloads_;
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

// Bytes are told inside a large mail; the notice comes with saved files, not with a word.
TEST_F(MailCheckStagesTest, BytesOfALargeMailAndTheAttachmentNoticeOfSavedFiles) {
    FakePop3Mailbox box;
    const std::string head = "Subject: s\r\nMIME-Version: 1.0\r\n";
    box.addRaw("the word only", head + "\r\nsee the attachment below\r\n");
    box.addRaw("photo inline", head +
                                   "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                   "Content-Type: image/jpeg\r\nContent-Disposition: inline; "
                                   "filename=p.jpg\r\n\r\nJPEG\r\n--b--\r\n");
    box.add("large", 3 << 20);
    box.throttle(4 << 20);  // most of a second for the large one
    state_->account.Pop3Server = box.serverName();
    CountingHost host;
    state_->check(*library_, host);
    ASSERT_GE(host.downloads_.size(), 2u);
    for (const auto& d : host.downloads_)  // done, total, received, listed
        EXPECT_TRUE(d[0] <= 2 && d[1] == 3 && d[2] > 0 && d[2] <= d[3] && d[3] > 3 << 20);
    const auto records = state_->receivedStore().readAll();
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i : {0, 1, 2})
        EXPECT_EQ(cp932ToUtf8(records[i].body()).ends_with(mail_check_text::kAttachmentNotice),
                  i == 1);
}

}  // namespace
}  // namespace tsubame::testing
