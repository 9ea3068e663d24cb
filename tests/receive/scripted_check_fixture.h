#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/cp932.h"
#include "core/file_io.h"
#include "settings/settings_files.h"
#include "support/check_fixture.h"
#include "support/scripted_mail_library.h"
#include "support/temp_folder.h"

namespace tsubame::testing {

// A check of a fresh application folder with a configured account (server and saved login)
// over the scripted mailbox, without windows: what it tells goes to host_.
class ScriptedCheckTest : public ::testing::Test {
  protected:
    ScriptedCheckTest() : state_(root_.path() / "app") {
        std::filesystem::create_directories(state_.paths.dataFolder());
        std::filesystem::create_directories(state_.paths.attachmentFolder());
        state_.account.Pop3Server = "pop.example.jp";
        SettingsFiles settings(state_.paths);
        EXPECT_TRUE(settings.writeLogin("NAME", "user").ok());
        EXPECT_TRUE(settings.writeLogin("NAME2", "pass").ok());
    }
    void TearDown() override { clearInjectedFaults(); }  // faults a test injects end with it

    MailCheckResult runCheck() { return state_.check(mail_, host_); }

    void addMails(int count) { mail_.addJapaneseMails(count); }
    void addMail(const std::string& subject, const std::string& body, int attachmentResult = 0) {
        mail_.addJapaneseMail(subject, body, attachmentResult);
    }
    void dropUidls() { mail_.dropUidls(); }
    int callsNamed(const std::string& prefix) const { return mail_.callsNamed(prefix); }

    ReceivedMailStore store() const { return state_.receivedStore(); }
    // Appends a record from UTF-8 texts, as the mail check would.
    void addRecord(const std::string& subject, const std::string& from, const std::string& date,
                   const std::string& body) {
        ReceivedMailRecord record;
        record.fill(utf8ToCp932(subject), utf8ToCp932(date), utf8ToCp932(from), utf8ToCp932(body));
        ASSERT_TRUE(store().append(record).ok());
    }
    std::filesystem::path storePath() const { return state_.paths.receivedStore(); }
    std::uintmax_t storeSize() const {
        std::error_code error;
        auto size = std::filesystem::file_size(storePath(), error);
        return error ? 0 : size;
    }
    std::vector<std::string> storedSubjects() const {
        std::vector<std::string> subjects;
        for (const auto& record : store().readAll())
            subjects.push_back(cp932ToUtf8(record.subject()));
        return subjects;
    }
    // The UTF-8 form of a stored field of record n.
    std::string storedBody(int n) const {
        ReceivedMailRecord record;
        if (!store().read(n, record)) return "<missing>";
        return cp932ToUtf8(record.body());
    }
    // The texts of the notices, in order.
    std::vector<std::string> noticeTexts() const {
        std::vector<std::string> texts;
        for (const auto& notice : host_.notices) texts.push_back(notice.text);
        return texts;
    }
    static bool contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }

    TempFolder root_;
    CheckState state_;
    ScriptedMailLibrary mail_;
    RecordingCheckHost host_;
};

}  // namespace tsubame::testing
