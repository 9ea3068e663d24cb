// tsubame --check, the built program, against real servers: Dovecot (POP3) and aiosmtpd.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <thread>

#include "core/app_paths.h"
#include "core/cp932.h"
#include "receive/original_mail.h"
#include "settings/settings_files.h"
#include "store/received_mail_store.h"
#include "support/check_program_fixture.h"
#include "support/pop3_test_helpers.h"

namespace tsubame::testing {
namespace {

namespace fs = std::filesystem;

std::string toIso2022jp(const std::string& utf8) {
    iconv_t cd = ::iconv_open("ISO-2022-JP", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string out(utf8.size() * 4 + 16, '\0');
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size(), outLeft = out.size();
    char* outPtr = out.data();
    ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    ::iconv(cd, nullptr, nullptr, &outPtr, &outLeft);  // back to ASCII at the end
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

std::string quotedPrintable(const std::string& bytes) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    int column = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        std::string piece = (c >= 33 && c <= 126 && c != '=') || c == ' '
                                ? std::string(1, static_cast<char>(c))
                                : std::string{'=', hex[c >> 4], hex[c & 15]};
        if (column + piece.size() > 72) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += static_cast<int>(piece.size());
    }
    return out;
}

struct Expected {
    std::string subject, fromName, fromAddress, date, body;
};

// A text mail from e whose header words are base64 in charset (UTF-8 or ISO-2022-JP), with
// its body as already encoded for the transfer encoding.
std::string textMail(const Expected& e, const std::string& charset, const std::string& transfer,
                     const std::string& encodedBody) {
    const auto word = [&](const std::string& text) {
        return "=?" + charset + "?B?" +
               base64Encode(charset == "UTF-8" ? text : toIso2022jp(text)) + "?=";
    };
    return "From: " + word(e.fromName) + " <" + e.fromAddress +
           ">\r\nTo: tester@example.jp\r\nSubject: " + word(e.subject) + "\r\nDate: " + e.date +
           "\r\nMIME-Version: 1.0\r\nContent-Type: text/plain; charset=" + charset +
           "\r\nContent-Transfer-Encoding: " + transfer + "\r\n\r\n" + encodedBody;
}

// Three mails in three common Japanese encodings.
std::vector<std::pair<std::string, Expected>> japaneseMails() {
    std::vector<std::pair<std::string, Expected>> mails;
    Expected a{"会議のお知らせ", "山田太郎", "taro@example.jp", "Mon, 07 Dec 2026 09:00:01 +0900",
               "明日の会議は十時からです。\r\nよろしくお願いします。"};
    mails.emplace_back(textMail(a, "UTF-8", "base64", base64Encode(a.body + "\r\n") + "\r\n"), a);
    Expected b{"請求書の送付について", "経理部", "keiri@example.co.jp",
               "Mon, 07 Dec 2026 09:05:00 +0900",
               "いつもお世話になっております。\r\n請求書を送付します。"};
    mails.emplace_back(textMail(b, "ISO-2022-JP", "7bit", toIso2022jp(b.body) + "\r\n"), b);
    Expected c{"週末の予定（確認）", "佐藤花子", "hanako@example.ne.jp",
               "Mon, 07 Dec 2026 09:10:00 +0900",
               "土曜日は晴れるそうです。\r\n駅で待ち合わせましょう。"};
    mails.emplace_back(textMail(c, "UTF-8", "quoted-printable", quotedPrintable(c.body + "\r\n")),
                       c);
    return mails;
}

std::string trimLineEnds(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

class CheckEndToEndTest : public CheckProgramTest {
  protected:
    // A mail of a text and one attachment of the given size; its bytes go base64.
    static std::string bigMail(const std::string& subject, std::size_t size,
                               const std::string& name = "big.bin",
                               const std::string& text = "see attachment") {
        const std::string encoded = base64Encode(std::string(size, 'x'));
        std::string lines;
        for (std::size_t i = 0; i < encoded.size(); i += 76)
            lines += encoded.substr(i, 76) + "\r\n";
        return "Subject: " + subject +
               "\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n"
               "--b\r\nContent-Type: text/plain\r\n\r\n" +
               text +
               "\r\n--b\r\nContent-Type: application/octet-stream\r\nContent-Disposition: "
               "attachment; filename=" +
               name + "\r\nContent-Transfer-Encoding: base64\r\n\r\n" + lines + "--b--\r\n";
    }
    std::map<std::string, std::uintmax_t> attachmentFiles() const {
        std::map<std::string, std::uintmax_t> files;
        std::error_code error;
        // Also inside the folder where a check keeps a mail's files until its record is stored,
        // which the running check may remove meanwhile.
        for (fs::recursive_directory_iterator it(paths().attachmentFolder(), error), end;
             !error && it != end; it.increment(error))
            files[it->path().filename().string()] = it->file_size(error);
        return files;
    }
    // Starts a check and waits until the attachment folder has a file that passes `seen`.
    bool startCheckUntil(ChildProcess& process,
                         const std::function<bool(const std::string&)>& seen) {
        startCheck(process);
        const Stopwatch waited;
        while (process.state() != ChildProcess::NotRunning && waited.elapsed() < 60000)
            for (const auto& [name, size] : attachmentFiles())
                if (seen(name)) return true;
        return false;
    }

    // Runs one complete check; returns the exit code, stdout and stderr.
    int runCheck(std::string* out, std::string* err = nullptr) {
        ChildProcess process;
        startCheck(process);
        const int code = exitCode(process, 60000);
        *out = process.readAllStandardOutput();
        if (err) *err = process.readAllStandardError();
        return code;
    }
};

TEST_F(CheckEndToEndTest, ThreeJapaneseMailsThroughSmtpEndInTheStoreInOrder) {
    SmtpTestServer::Options smtpOptions;
    smtpOptions.maildir = server_.maildir();
    SmtpTestServer smtp(smtpOptions);
    TSUBAME_NEED_SERVER(smtp.ok(), "aiosmtpd could not start: " << smtp.log());
    const auto mails = japaneseMails();
    for (std::size_t i = 0; i < mails.size(); ++i) {
        const fs::path file = work_ / ("mail" + std::to_string(i) + ".eml");
        std::ofstream(file, std::ios::binary) << mails[i].first;
        const std::string script =
            "import smtplib,sys\n"
            "s=smtplib.SMTP('127.0.0.1'," +
            std::to_string(smtp.port()) +
            ")\n"
            "s.sendmail('sender@example.jp',['tester@example.jp'],open(sys.argv[1],'rb').read())\n"
            "s.quit()\n";
        ASSERT_TRUE(runCommand({"/usr/bin/python3", "-c", script, file.string()},
                               work_ / "smtp-client.log"));
        // Delivery order is arrival order; give each mail its own second-free sequence.
        for (int wait = 0; wait < 100 && server_.messageCount() < static_cast<int>(i + 1); ++wait)
            sleepMs(20);
    }
    ASSERT_EQ(server_.messageCount(), 3);

    std::string out, err;
    ASSERT_EQ(runCheck(&out, &err), 0) << err;
    EXPECT_EQ(out, "3\n");
    EXPECT_EQ(server_.messageCount(), 0);

    const auto records = store().readAll();
    ASSERT_EQ(records.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const Expected& want = mails[i].second;
        EXPECT_EQ(cp932ToUtf8(records[i].subject()), want.subject);
        const std::string from = cp932ToUtf8(records[i].from());
        EXPECT_NE(from.find(want.fromAddress), std::string::npos) << from;
        EXPECT_NE(from.find(want.fromName), std::string::npos) << from;
        EXPECT_EQ(cp932ToUtf8(records[i].date()), want.date);
        EXPECT_EQ(trimLineEnds(cp932ToUtf8(records[i].body())), want.body);
        EXPECT_EQ(records[i].inUse(), 1);
    }
    EXPECT_FALSE(fs::exists(paths().receiveJournal()));
}

TEST_F(CheckEndToEndTest, RefusedLoginExitsWithOneAndKeepsTheMail) {
    server_.deliver("Subject: kept\r\n\r\nbody\r\n");
    SettingsFiles(paths()).writeLogin("NAME2", "wrong password");
    std::string out, err;
    EXPECT_EQ(runCheck(&out, &err), 1);
    EXPECT_EQ(out.front(), '-');
    EXPECT_NE(err.find("エラー"), std::string::npos) << err;
    EXPECT_EQ(server_.messageCount(), 1);
}

// Kills tsubame --check at many points of its download; after each kill (and a deletion of
// the first mail) a complete check must leave every mail in the store exactly once, whole,
// the deleted one not at all, and the server empty.
TEST_F(CheckEndToEndTest, KilledChecksNeverLoseOrDuplicateMail) {
    constexpr int kMails = 12;
    const std::string padding(6000, 'p');  // bodies large enough to take a moment each
    auto deliverAll = [&](int round) {
        for (int k = 1; k <= kMails; ++k)
            server_.deliver("Subject: round " + std::to_string(round) + " mail " +
                            std::to_string(k) +
                            "\r\nFrom: a@example.jp\r\nDate: Mon, 07 Dec 2026 "
                            "10:00:00 +0900\r\n\r\nbody " +
                            std::to_string(k) + "\r\n" + padding + "\r\n");
    };
    // How long one complete check takes, to spread the kills over it.
    deliverAll(0);
    const Stopwatch timer;
    std::string out;
    ASSERT_EQ(runCheck(&out), 0);
    const long long fullMs = std::max<long long>(timer.elapsed(), 200);
    ASSERT_EQ(store().wholeRecords(), kMails);

    // Each round kills the check once the store holds `target` records (0 … kMails - 1),
    // right away or a moment later, so the kills land between and inside the steps of
    // different mails.
    constexpr int kRounds = 2 * kMails;
    int interruptedMidway = 0;
    for (int round = 1; round <= kRounds; ++round) {
        SCOPED_TRACE(round);
        fs::remove(paths().receivedStore());
        ASSERT_EQ(server_.messageCount(), 0);
        deliverAll(round);

        const int target = (round - 1) % kMails;
        ChildProcess victim;
        startCheck(victim);
        ASSERT_TRUE(victim.waitForStarted());
        const Stopwatch waited;
        while (store().wholeRecords() < target && victim.state() == ChildProcess::Running &&
               waited.elapsed() < fullMs * 4)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (round > kMails) std::this_thread::sleep_for(std::chrono::microseconds(300 * round));
        victim.kill();  // SIGKILL
        victim.waitForFinished();
        const std::int64_t afterKill = store().wholeRecords();
        if (afterKill > 0 && afterKill < kMails) ++interruptedMidway;
        // The user deletes the first mail before the next check: it must not come back.
        std::string deleted;
        if (afterKill >= 2) {
            deleted = std::string(store().readAll()[0].subject());
            ASSERT_TRUE(store().remove(1).ok());
        }

        ASSERT_EQ(runCheck(&out), 0) << "round " << round;
        EXPECT_EQ(server_.messageCount(), 0);
        std::map<std::string, int> seen;
        for (const auto& record : store().readAll()) {
            ++seen[std::string(record.subject())];
            EXPECT_EQ(record.inUse(), 1);
            EXPECT_EQ(record.body().substr(0, 5), "body ");
        }
        EXPECT_EQ(fs::file_size(paths().receivedStore()) % ReceivedMailRecord::kSize, 0u);
        EXPECT_EQ(seen.count(deleted), 0u) << deleted;
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(kMails - (deleted.empty() ? 0 : 1)));
        for (const auto& [subject, times] : seen) EXPECT_EQ(times, 1) << subject;
    }
    RecordProperty("interrupted_midway", interruptedMidway);
    std::printf("kills that landed inside the download: %d of %d (full check %lld ms)\n",
                interruptedMidway, kRounds, static_cast<long long>(fullMs));
}

TEST_F(CheckEndToEndTest, KillInsideAnAttachmentLeavesNoPartUnderItsNameAndNoLeftovers) {
    constexpr std::size_t kSize = 24 << 20;
    server_.deliver(bigMail("big", kSize));
    ChildProcess victim;
    ASSERT_TRUE(startCheckUntil(victim, [](const std::string& name) {
        return name != "0.txt" && !name.starts_with("0-");  // the scratch file is not enough
    }));
    victim.kill();  // SIGKILL
    victim.waitForFinished();
    for (const auto& [name, size] : attachmentFiles())
        EXPECT_TRUE(name.starts_with(".") || name.starts_with("0") || size == kSize) << name;

    std::string out;
    ASSERT_EQ(runCheck(&out), 0);
    EXPECT_EQ(attachmentFiles(), (std::map<std::string, std::uintmax_t>{{"big.bin", kSize}}));
    EXPECT_EQ(store().wholeRecords(), 1);
}

// Killed when a mail is decoded while the one before it is still decoded (its larger
// attachment): the next check saves no file a second time and leaves no kept original (its
// long text) that no record names.
TEST_F(CheckEndToEndTest, AKillBetweenDecodingAndStoringLeavesNoFileSavedTwice) {
    constexpr int kRounds = 3;
    for (int round = 1; round <= kRounds; ++round) {
        const std::string tag = "r" + std::to_string(round);
        server_.deliver(
            bigMail(tag + " first", 600 << 10, tag + "-1.bin", std::string(40000, 't')));
        server_.deliver(bigMail(tag + " second", 100, tag + "-2.bin", std::string(40000, 't')));
        ChildProcess victim;  // the second mail's original is the last file its decoding writes
        startCheckUntil(
            victim, [&](const std::string& name) { return name.ends_with(tag + " second.eml"); });
        victim.kill();  // SIGKILL
        victim.waitForFinished();
        std::string out;
        ASSERT_EQ(runCheck(&out), 0);
    }
    std::multiset<std::string> named;
    for (const auto& record : store().readAll())
        named.insert(originalMailFileNamedIn(cp932ToUtf8(std::string(record.body()))));
    const auto files = attachmentFiles();
    for (const auto& [name, size] : files) {
        EXPECT_EQ(name.find(" ("), std::string::npos) << "saved twice: " << name;
        EXPECT_TRUE(name.ends_with(".bin") || named.count(name) == 1) << name;
    }
    EXPECT_EQ(files.size(), 4u * kRounds);
}

TEST_F(CheckEndToEndTest, TermStopsTheCheckAsTheStopButtonDoesAndExitsNonZero) {
    constexpr std::size_t kSize = 24 << 20;
    server_.deliver(bigMail("big", kSize));
    server_.deliver("Subject: small\r\n\r\nbody\r\n");
    ChildProcess check;
    ASSERT_TRUE(startCheckUntil(check, [](const std::string&) { return true; }));
    check.terminate();  // SIGTERM
    EXPECT_EQ(exitCode(check, 60000), 128 + SIGTERM);
    EXPECT_GE(server_.messageCount(), 1);  // what was not taken in stays on the server
    EXPECT_EQ(store().wholeRecords() + server_.messageCount(), 2);
    for (const auto& [name, size] : attachmentFiles())  // nothing half-written, no scratch
        EXPECT_TRUE(name == "big.bin" && size == kSize) << name;
}

}  // namespace
}  // namespace tsubame::testing
