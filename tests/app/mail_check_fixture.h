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

    void addMails(int count) { mail_.addJapaneseMails(count); }
    void addMail(const std::string& subject, const std::string& body, int attachmentResult = 0) {
        mail_.addJapaneseMail(subject, body, attachmentResult);
    }
    void dropUidls() { mail_.dropUidls(); }
    int callsNamed(const std::string& prefix) const { return mail_.callsNamed(prefix); }
    std::vector<std::string> storedSubjects() const {
        std::vector<std::string> subjects;
        for (const auto& record : store().readAll())
            subjects.push_back(cp932ToUtf8(record.subject()));
        return subjects;
    }
};

}  // namespace tsubame::testing
