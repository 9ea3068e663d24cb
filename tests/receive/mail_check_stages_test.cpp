// The check's stages: a mail is stored as soon as it and the mails before it are decoded.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>
#include <array>
#include <atomic>
#include <thread>

#include "receive/mail_check.h"
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
    std::vector<std::array<std::int64_t, 4>> downloads_;
};

using MailCheckStagesTest = RealLibraryCheckTest;

TEST_F(MailCheckStagesTest, AMailIsStoredAndCountedWhileALaterOneIsStillDownloading) {
    // The first mail takes longer to decode than the second to download.
    FakePop3Mailbox box;
    for (const std::size_t padding : {600 << 10, 100, 100}) box.add("mail", padding);
    box.holdRetr(3);
    app_->account.Pop3Server = box.serverName();
    CountingHost host;
    std::thread check([&] {
        MailCheck(app_->mail(), app_->paths(), app_->account, app_->recordBuffer,
                  app_->CurrentRecord, host)
            .run();
    });
    // Within the library's time-out, which would end the held download.
    QElapsedTimer waited;
    waited.start();
    while (host.done_ < 2 && waited.elapsed() < 1500) QThread::msleep(5);
    EXPECT_EQ(host.done_, 2);
    EXPECT_EQ(app_->receivedStore().count(), 2);
    box.release();
    check.join();
    EXPECT_EQ(app_->receivedStore().count(), 3);
}

TEST_F(MailCheckStagesTest, TheBytesOfALargeMailAreToldWhileItDownloads) {
    FakePop3Mailbox box;
    box.add("small", 100);
    box.add("large", 3 << 20);
    box.throttle(6 << 20);  // half a second for the large one
    app_->account.Pop3Server = box.serverName();
    CountingHost host;
    MailCheck(app_->mail(), app_->paths(), app_->account, app_->recordBuffer, app_->CurrentRecord,
              host)
        .run();
    ASSERT_GE(host.downloads_.size(), 2u);
    const std::int64_t listed = host.downloads_[0][3];
    EXPECT_GT(listed, 3 << 20);
    for (const auto& [done, total, received, size] : host.downloads_) {
        EXPECT_EQ(done, 1);  // the small mail is in, the large one under way
        EXPECT_EQ(total, 2);
        EXPECT_EQ(size, listed);
        EXPECT_GT(received, 0);
        EXPECT_LE(received, listed);
    }
    EXPECT_LT(host.downloads_.front()[2], host.downloads_.back()[2]);
    EXPECT_EQ(app_->receivedStore().count(), 2);
}

// The notice tells of files saved, whatever the parts are called and whatever the text says.
TEST_F(MailCheckStagesTest, TheAttachmentNoticeComesExactlyWithSavedFiles) {
    const std::string head = "From: a@example.jp\r\nSubject: s\r\nMIME-Version: 1.0\r\n";
    const std::string multipart = head +
                                  "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                                  "Content-Type: text/plain\r\n\r\nhello\r\n--b\r\n";
    const struct {
        const char* name;
        std::string raw;
        bool notice;
    } cases[] = {
        {"a photo inline",
         multipart + "Content-Type: image/jpeg\r\nContent-Disposition: inline; filename=p.jpg\r\n"
                     "Content-Transfer-Encoding: base64\r\n\r\n/9j/4AAQ\r\n--b--\r\n",
         true},
        {"a file attached",
         multipart + "Content-Type: text/plain\r\nContent-Disposition: attachment; "
                     "filename=a.txt\r\n\r\nfile\r\n--b--\r\n",
         true},
        {"the word only", head + "\r\nsee the attachment below\r\n", false},
    };
    FakePop3Mailbox box;
    for (const auto& c : cases) box.addRaw(c.name, c.raw);
    app_->account.Pop3Server = box.serverName();
    CountingHost host;
    MailCheck(app_->mail(), app_->paths(), app_->account, app_->recordBuffer, app_->CurrentRecord,
              host)
        .run();
    const std::string notice = mail_check_text::kAttachmentNotice;
    for (int n = 1; const auto& c : cases) {
        ReceivedMailRecord record;
        ASSERT_TRUE(app_->receivedStore().read(n++, record)) << c.name;
        EXPECT_EQ(cp932ToUtf8(record.body()).ends_with(notice), c.notice) << c.name;
    }
}

}  // namespace
}  // namespace tsubame::testing
