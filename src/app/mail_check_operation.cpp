#include "app/mail_check_operation.h"

#include <QThread>

#include "app/main_form.h"
#include "context/app_context.h"
#include "core/thread_handoff.h"
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

MailCheckOutcome showCheckResult(AppContext& app, const MailCheckResult& result) {
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
    // An open viewer lists what the store now holds, so that its deletions act on what the
    // user sees.
    if (TyakuForm* viewer = app.loadedViewer(); viewer && viewer->isVisible())
        viewer->refreshList();
    return {result.count, result.completed, result.stopped, result.busy};
}

}  // namespace

MailCheckOutcome runMailCheck(AppContext& app) {
    WindowsCheckHost host(app);
    MailCheck check(app.mail(), app.paths(), app.account, app.recordBuffer, app.CurrentRecord,
                    host);
    return showCheckResult(app, check.run());
}

// What a check on its thread works on: copies of the shared state, so that the windows can
// use theirs meanwhile; the results go back when the check has ended.
struct BackgroundMailCheck::Run {
    AccountSettings account;
    ReceivedMailRecord recordBuffer;
    std::int16_t currentRecord = 0;
    MailCheckResult result;
    HandOffMark ended;  // the thread's last step; taken over after its wait()
};

// The check's side: every call is posted to the GUI thread and the check goes on at once.
class BackgroundMailCheck::ThreadHost : public MailCheckHost {
  public:
    explicit ThreadHost(BackgroundMailCheck& owner) : owner_(owner) {}

    void checkStarted() override {
        post([](MailCheckHost& windows) { windows.checkStarted(); });
    }
    void loginRead(const std::string& id, const std::string& password) override {
        post([id, password](MailCheckHost& windows) { windows.loginRead(id, password); });
    }
    void loginMissing() override {
        post([](MailCheckHost& windows) { windows.loginMissing(); });
    }
    void notice(const std::string& text, const std::string& title) override {
        BackgroundMailCheck* owner = &owner_;
        QMetaObject::invokeMethod(
            owner, handedOver([owner, text, title] { owner->showNotice(text, title); }),
            Qt::QueuedConnection);
    }
    void stage(const StagedMail& mail) override {
        post([mail](MailCheckHost& windows) { windows.stage(mail); });
    }
    void progress(int done, int total) override {
        BackgroundMailCheck* owner = &owner_;
        QMetaObject::invokeMethod(
            owner, handedOver([owner, done, total] { emit owner->progressed(done, total); }),
            Qt::QueuedConnection);
    }
    bool stopRequested() override { return owner_.stop_; }

  private:
    template <class Call>
    void post(Call call) {
        BackgroundMailCheck* owner = &owner_;
        // The owner outlives the thread; what is still queued when it goes is dropped.
        QMetaObject::invokeMethod(owner, handedOver([owner, call] { call(*owner->windows_); }),
                                  Qt::QueuedConnection);
    }

    BackgroundMailCheck& owner_;
};

BackgroundMailCheck::BackgroundMailCheck(AppContext& app, QObject* parent)
    : QObject(parent), app_(app) {}

BackgroundMailCheck::~BackgroundMailCheck() { stopAndWait(); }

bool BackgroundMailCheck::start() {
    if (running()) return false;
    stop_ = false;
    windows_ = std::make_shared<WindowsCheckHost>(app_);
    run_ = std::make_shared<Run>();
    run_->account = app_.account;
    run_->recordBuffer = app_.recordBuffer;
    run_->currentRecord = app_.CurrentRecord;

    std::shared_ptr<Run> run = run_;
    AppContext& app = app_;
    thread_ = QThread::create([this, run, &app] {
        const HandOffAtExit ended(run->ended);
        ThreadHost host(*this);
        MailCheck check(app.mail(), app.paths(), run->account, run->recordBuffer,
                        run->currentRecord, host);
        run->result = check.run();
    });
    thread_->setObjectName(QStringLiteral("MailCheck"));
    // Comes after everything the check posted, so the results are shown last.
    connect(thread_, &QThread::finished, this, &BackgroundMailCheck::finish, Qt::QueuedConnection);
    thread_->start();
    return true;
}

void BackgroundMailCheck::requestStop() { stop_ = true; }

void BackgroundMailCheck::stopAndWait() {
    if (!thread_) return;
    stop_ = true;
    thread_->wait();  // the check never waits for this thread, so this ends
    run_->ended.takeOver();
    delete thread_;
    thread_ = nullptr;
}

void BackgroundMailCheck::showNotice(const std::string& text, const std::string& title) {
    notices_.emplace_back(text, title);
    // A box runs its own event loop: a notice that comes meanwhile waits for it to close.
    if (showingNotice_) return;
    showingNotice_ = true;
    std::shared_ptr<MailCheckHost> windows = windows_;
    while (!notices_.empty()) {
        const auto [nextText, nextTitle] = notices_.front();
        notices_.pop_front();
        windows->notice(nextText, nextTitle);
    }
    showingNotice_ = false;
}

void BackgroundMailCheck::finish() {
    if (!thread_) return;
    thread_->wait();
    run_->ended.takeOver();
    delete thread_;
    thread_ = nullptr;
    const MailCheckResult& result = run_->result;
    app_.account.UserId = run_->account.UserId;
    app_.account.Password = run_->account.Password;
    if (result.stored > 0) {
        app_.recordBuffer = run_->recordBuffer;
        app_.CurrentRecord = run_->currentRecord;
    }
    emit finished(showCheckResult(app_, result));
}

}  // namespace tsubame
