// tsubame --check, the built program, against real Dovecot while other processes write the
// same data folder: a deleter working like the viewer, a second check, a lock holder.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <map>

#include "core/app_paths.h"
#include "core/data_folder_lock.h"
#include "settings/settings_files.h"
#include "store/received_mail_store.h"
#include "support/lock_holder.h"
#include "support/mail_servers.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;

fs::path buildDir() {
    QString dir = qEnvironmentVariable("TSUBAME_BUILD_DIR");
    if (dir.isEmpty()) dir = QCoreApplication::applicationDirPath() + "/..";
    return fs::path(dir.toStdString());
}

std::string trimmedRight(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n')) text.pop_back();
    return text;
}

class DataFolderLockEndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!server_.ok()) GTEST_SKIP() << "Dovecot could not start: " << server_.log();
        for (const fs::path& tool : {program(), deleter()})
            if (!fs::exists(tool)) GTEST_SKIP() << "not built: " << tool;
        folder_ = fs::path(root_.path().toStdString()) / "app";
        work_ = fs::path(root_.path().toStdString()) / "work";
        for (const char* name : {"★MailData", "添付フォルダ", "../work"})
            fs::create_directories(folder_ / name);
        SettingsFiles settings{AppPaths(folder_)};
        ASSERT_TRUE(settings.writeLogin("NAME", server_.user()).ok());
        ASSERT_TRUE(settings.writeLogin("NAME2", server_.password()).ok());
        std::ofstream(work_ / "korumi.ini", std::ios::binary)
            << "SMTP=127.0.0.1\r\nPOP3=" << server_.serverName()
            << "\r\nMAIL=tester@example.jp\r\nAPOP=0\r\n";
    }

    static fs::path program() { return buildDir() / "src" / "app" / "tsubame"; }
    static fs::path deleter() { return buildDir() / "tests" / "tsubame_store_deleter"; }
    AppPaths paths() const { return AppPaths(folder_); }
    ReceivedMailStore store() const {
        return ReceivedMailStore(paths().receivedStore(), paths().receivedTemp());
    }

    void deliver(int count) {
        for (int k = 1; k <= count; ++k)
            server_.deliver("Subject: mail " + std::to_string(k) +
                            "\r\nFrom: a@example.jp\r\nDate: Mon, 07 Dec 2026 10:00:00 +0900"
                            "\r\n\r\nbody " +
                            std::to_string(k) + "\r\n" + std::string(3000, 'p') + "\r\n");
    }
    void startCheck(QProcess& process, int lockWaitMs) {
        process.setWorkingDirectory(QString::fromStdString(work_.string()));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("TSUBAME_LOCK_WAIT_MS", QString::number(lockWaitMs));
        process.setProcessEnvironment(env);
        process.start(QString::fromStdString(program().string()),
                      {"--check", "--app-folder", QString::fromStdString(folder_.string())});
    }
    static int exitCode(QProcess& process) {
        if (!process.waitForFinished(120000)) return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    // How often each subject is in the store.
    std::map<std::string, int> storedSubjects() const {
        std::map<std::string, int> seen;
        for (const auto& entry : store().readListEntries()) ++seen[trimmedRight(entry.subject)];
        return seen;
    }

    DovecotServer server_;
    QTemporaryDir root_;
    fs::path folder_, work_;
};

TEST_F(DataFolderLockEndToEndTest, CheckWhileAnotherProcessDeletesInALoopLosesNothing) {
    constexpr int kMails = 300;
    deliver(kMails);
    const fs::path log = work_ / "deleted.log", stop = work_ / "stop";
    QProcess deleting;
    deleting.start(QString::fromStdString(deleter().string()),
                   {QString::fromStdString(folder_.string()), QString::fromStdString(log.string()),
                    QString::fromStdString(stop.string())});
    ASSERT_TRUE(deleting.waitForStarted());
    QProcess check;
    startCheck(check, 5000);
    const int code = exitCode(check);
    std::ofstream(stop) << "";
    ASSERT_TRUE(deleting.waitForFinished(30000));
    ASSERT_EQ(code, 0) << check.readAllStandardError().toStdString();

    // Every mail left the server and is either in the store or was deleted by the other
    // process, exactly once.
    EXPECT_EQ(server_.messageCount(), 0);
    std::map<std::string, int> seen = storedSubjects();
    std::ifstream in(log);
    int deleted = 0;
    for (std::string line; std::getline(in, line); ++deleted) ++seen[trimmedRight(line)];
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kMails)) << deleted << " deleted";
    for (const auto& [subject, times] : seen) EXPECT_EQ(times, 1) << subject;
    std::printf("mails deleted by the other process: %d of %d\n", deleted, kMails);
}

TEST_F(DataFolderLockEndToEndTest, TwoChecksAtOnceStoreEachMailOnce) {
    constexpr int kMails = 300;
    deliver(kMails);
    QProcess first, second;
    startCheck(first, 100000);
    startCheck(second, 100000);
    EXPECT_EQ(exitCode(first), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(exitCode(second), 0) << second.readAllStandardError().toStdString();

    EXPECT_EQ(server_.messageCount(), 0);
    const std::map<std::string, int> seen = storedSubjects();
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kMails));
    for (const auto& [subject, times] : seen) EXPECT_EQ(times, 1) << subject;
    EXPECT_EQ(store().wholeRecords(), kMails);
}

TEST_F(DataFolderLockEndToEndTest, CheckExitsWith75AndTakesNothingWhileTheLockStaysTaken) {
    deliver(2);
    ASSERT_TRUE(store().createIfMissing().ok());
    LockHolderProcess other(paths().dataFolderLock());
    ASSERT_TRUE(other.holding());
    QProcess check;
    startCheck(check, 300);
    EXPECT_EQ(exitCode(check), 75);
    EXPECT_NE(check.readAllStandardError().toStdString().find(kDataFolderBusy), std::string::npos);
    EXPECT_EQ(server_.messageCount(), 2);
    EXPECT_EQ(fs::file_size(paths().receivedStore()), 0u);
    EXPECT_FALSE(fs::exists(paths().receiveJournal()));
}

}  // namespace
}  // namespace tsubame::testing
