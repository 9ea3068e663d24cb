// The check's stages: a mail is stored as soon as it and the mails before it are decoded,
// and its files take their names only with its record.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/mail_check_operation.h"
#include "core/cp932.h"
#include "receive/mail_check.h"
#include "receive/original_mail.h"
#include "support/built_program.h"
#include "support/real_library_check_fixture.h"
#include "support/temp_folder.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;

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

// A mail with a long text (kept whole as a .eml file) and one base64 attachment.
std::string mailWith(const std::string& subject, const std::string& name, std::size_t size) {
    return "From: a@example.jp\r\nSubject: " + subject +
           "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
           "--b\r\nContent-Type: text/plain\r\n\r\n" +
           std::string(40000, 't') +
           "\r\n--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
           "attachment; filename=" +
           name + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
           QByteArray(static_cast<int>(size), 'x')
               .toBase64(QByteArray::Base64Encoding)
               .toStdString() +
           "\r\n--b--\r\n";
}

using MailCheckStagesTest = RealLibraryCheckTest;

TEST_F(MailCheckStagesTest, AMailIsStoredAndCountedWhileALaterOneIsStillDownloading) {
    // The first mail takes longer to decode than the second to download.
    FakePop3Mailbox box;
    box.addRaw("one", mailWith("one", "one.bin", 600 << 10));
    box.addRaw("two", mailWith("two", "two.bin", 100));
    box.add("three");
    box.holdRetr(3);
    app_->account.Pop3Server = box.serverName();
    CountingHost host;
    MailCheckResult result;
    std::thread check([&] {
        result = MailCheck(app_->mail(), app_->paths(), app_->account, app_->recordBuffer,
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
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(app_->receivedStore().count(), 3);
}

// The names a mail's files wait for are taken when its record is stored: its record names the
// kept original under the name it got.
TEST_F(MailCheckStagesTest, AKeptMailWhoseNameWasTakenIsNamedUnderTheNameItGot) {
    const fs::path attachments = folder_ / "添付フォルダ";
    FakePop3Mailbox box;
    box.addRaw("long", mailWith("long", "a.bin", 100));
    // Taken for the next seconds, whichever one the check lands in.
    for (std::time_t second = std::time(nullptr), last = second + 5; second <= last; ++second) {
        std::tm local{};
        localtime_r(&second, &local);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
        std::ofstream(attachments / (std::string("元のメール ") + stamp + " long.eml")) << "mine";
    }
    app_->account.Pop3Server = box.serverName();
    ASSERT_TRUE(runMailCheck(*app_).completed);
    const std::vector<ReceivedMailRecord> records = app_->receivedStore().readAll();
    ASSERT_EQ(records.size(), 1u);
    const std::string body = cp932ToUtf8(std::string(records[0].body()));
    const std::string named = originalMailFileNamedIn(body);
    EXPECT_TRUE(named.ends_with(" long (2).eml")) << body.substr(body.size() - 200);
    EXPECT_TRUE(readFileBytes(attachments / named).starts_with("From: a@example.jp")) << named;
}

// tsubame --check killed when a mail is decoded, while the mail before it is still decoded
// (its larger attachment) and the one after it held back by the server: the
// next check saves no file a second time and leaves no .eml that no record names.
TEST_F(MailCheckStagesTest, AKillBetweenDecodingAndStoringLeavesNoFileSavedTwice) {
    if (!fs::exists(builtProgram())) GTEST_SKIP() << "no program at " << builtProgram();
    const fs::path work = root() / "work", attachments = folder_ / "添付フォルダ";
    fs::create_directories(work);
    FakePop3Mailbox box;
    std::ofstream(work / "korumi.ini", std::ios::binary)
        << "SMTP=127.0.0.1\r\nPOP3=" << box.serverName() << "\r\nMAIL=t@example.jp\r\nAPOP=0\r\n";
    const auto runCheck = [&](QProcess& process) {
        process.setWorkingDirectory(QString::fromStdString(work.string()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TSUBAME_NET_TIMEOUT_MS", "5000");
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString(builtProgram().string()),
                      {"--check", "--app-folder", QString::fromStdString(folder_.string())});
    };
    const auto seen = [&](const std::string& ending) {
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(attachments, error))
            if (entry.path().filename().string().ends_with(ending)) return true;
        return false;
    };
    constexpr int kRounds = 3;
    for (int round = 1; round <= kRounds; ++round) {
        SCOPED_TRACE(round);
        const std::string tag = "r" + std::to_string(round);
        box.addRaw(tag + " first", mailWith(tag + " first", tag + "-first.bin", 600 << 10));
        box.addRaw(tag + " second", mailWith(tag + " second", tag + "-second.bin", 100));
        box.add(tag + " third");
        box.holdRetr(3);
        QProcess victim;
        runCheck(victim);
        QElapsedTimer waited;
        waited.start();
        // The second mail's kept original is the last file its decoding writes.
        while (!seen(tag + " second.eml") && victim.state() != QProcess::NotRunning &&
               waited.elapsed() < 20000) {
        }
        victim.kill();  // SIGKILL
        victim.waitForFinished();
        box.release();

        QProcess check;
        runCheck(check);
        ASSERT_TRUE(check.waitForFinished(30000));
        EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardError().toStdString();
        EXPECT_TRUE(box.subjects().empty());
    }
    const std::vector<ReceivedMailRecord> records = app_->receivedStore().readAll();
    EXPECT_EQ(records.size(), 3u * kRounds);
    std::multiset<std::string> named;
    for (const ReceivedMailRecord& record : records)
        named.insert(originalMailFileNamedIn(cp932ToUtf8(std::string(record.body()))));
    int files = 0;
    for (const auto& entry : fs::directory_iterator(attachments)) {
        const std::string name = entry.path().filename().string();
        ++files;
        EXPECT_EQ(name.find(" ("), std::string::npos) << "saved twice: " << name;
        if (name.ends_with(".eml")) {
            EXPECT_EQ(named.count(name), 1u) << "named by no record: " << name;
        }
    }
    EXPECT_EQ(files, 4 * kRounds);  // two attachments and two kept mails a round, nothing else
}

}  // namespace
}  // namespace tsubame::testing
