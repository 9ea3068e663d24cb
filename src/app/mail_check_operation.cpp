#include "app/mail_check_operation.h"

#include "app/main_form.h"
#include "context/app_context.h"
#include "receive/mail_check.h"
#include "setup/id_pass_form.h"
#include "viewer/tyaku_form.h"

namespace tsubame {
namespace {

QString qs(const std::string& utf8) { return QString::fromStdString(utf8); }

// The windows the check works with. Without a main window (command line) nothing is shown:
// message boxes go to the context's dialogs and the record is built without a viewer.
class WindowsCheckHost : public MailCheckHost {
  public:
    explicit WindowsCheckHost(AppContext& app)
        : app_(app), main_(dynamic_cast<MainForm*>(app.mainForm())) {}

    void checkStarted() override {
        if (main_) main_->setHelpText(qs(mail_check_text::kChecking));
    }

    void loginRead(const std::string& id, const std::string& password) override {
        if (!main_) return;
        IdPassForm& dialog = app_.idPassForm();
        dialog.setIdText(qs(id));
        dialog.setPassText(qs(password));
    }

    void loginMissing() override {
        if (main_) {
            AppContext::showWindow(app_.idPassForm());
            return;
        }
        app_.dialogs().notice(nullptr,
                              QStringLiteral("ID またはパスワードが保存されていません。"
                                             "「初期設定」の「ID/PASS」で保存してください。"),
                              qs(mail_check_text::kErrorTitle));
    }

    void notice(const std::string& text, const std::string& title) override {
        app_.dialogs().notice(main_, qs(text), qs(title));
    }

    void stage(const StagedMail& mail) override {
        if (!main_) return;
        app_.viewer().stageMail(qs(mail.subject), qs(mail.from), qs(mail.date), qs(mail.body));
    }

  private:
    AppContext& app_;
    MainForm* main_;
};

}  // namespace

MailCheckOutcome runMailCheck(AppContext& app) {
    WindowsCheckHost host(app);
    MailCheck check(app.mail(), app.paths(), app.account, app.recordBuffer, app.CurrentRecord,
                    host);
    const MailCheckResult result = check.run();

    if (auto* main = dynamic_cast<MainForm*>(app.mainForm())) {
        if (result.count > 0) {
            main->setStatusText(QStringLiteral("新着メールがあります"));
            main->setWideLayout(true);
        } else if (!result.completed) {
            // A check that failed found out nothing about new mail; "none" would hide it.
            main->setStatusText(QStringLiteral("メールを受信できませんでした。"));
        } else {
            main->setStatusText(QStringLiteral("新着メール無し。"));
        }
        main->setNewMailCount(QString::number(result.count));
        if (result.count > 0 && main->autoOpenViewerChecked()) app.viewer().openViewer();
    }
    return {result.count, result.completed};
}

}  // namespace tsubame
