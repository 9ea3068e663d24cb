#pragma once

#include "app/mail_check_operation.h"
#include "settings/settings_files.h"
#include "viewer/viewer_fixture.h"

namespace tsubame::testing {

// A configured account (server and saved login) over the scripted mailbox.
class MailCheckTest : public AppFolderTest {
  protected:
    MailCheckTest() {
        app_->account.Pop3Server = "pop.example.jp";
        SettingsFiles settings(app_->paths());
        EXPECT_TRUE(settings.writeLogin("NAME", "user").ok());
        EXPECT_TRUE(settings.writeLogin("NAME2", "pass").ok());
    }

    // Adds mails with Japanese subjects (UTF-8 in, code page 932 in the mailbox).
    void addMails(int count) {
        for (int i = 1; i <= count; ++i)
            addMail("件名" + std::to_string(i), "本文" + std::to_string(i));
    }
    void addMail(const std::string& subject, const std::string& body, int attachmentResult = 0) {
        mail_.addMail(utf8ToCp932(subject), "sender@example.jp", "Mon, 7 Dec 2026 09:00:00 +0900",
                      utf8ToCp932(body), attachmentResult);
    }
    void dropUidls() {
        for (auto& m : mail_.mailbox) m.uidl.clear();
    }
    int callsNamed(const std::string& prefix) const {
        int n = 0;
        for (const auto& call : mail_.calls) n += call.rfind(prefix, 0) == 0;
        return n;
    }
    std::vector<std::string> storedSubjects() const {
        std::vector<std::string> subjects;
        for (const auto& record : store().readAll())
            subjects.push_back(cp932ToUtf8(record.subject()));
        return subjects;
    }
};

}  // namespace tsubame::testing
