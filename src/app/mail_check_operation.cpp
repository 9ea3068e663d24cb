#include "app/mail_check_operation.h"

#include <QPointer>
#include <QThread>
#include <optional>

#include "app/check_command.h"
#include "app/main_form.h"
#include "context/app_context.h"
#include "context/tls_choice.h"
#include "core/cp932.h"
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
    explicit WindowsCheckHost(AppContext& app, std::function<bool()> stopRequested = {})
        : app_(app),
          main_(dynamic_cast<MainForm*>(app.mainForm())),
          stopRequested_(std::move(stopRequested)) {}

    bool stopRequested() override { return stopRequested_ && stopRequested_(); }

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
        app_.dialogs().notice(nullptr, qs(kLoginMissingNotice), qs(mail_check_text::kErrorTitle));
    }

    void notice(const std::string& text, const std::string& title) override {
        app_.dialogs().notice(main_, qs(text), qs(title));
    }

    // A window asks; without one (the command line) the advice is told instead.
    void tlsProblem(const MailLibrary::TlsProblem& problem, const std::string& text,
                    const std::string& advice) override {
        if (!main_) return MailCheckHost::tlsProblem(problem, text, advice);
        askAboutTlsProblem(app_, main_, problem, text);
    }

    void stage(const StagedMail& mail) override {
        if (!main_) return;
        auto text = [](const std::string& cp932) { return qs(cp932ToUtf8(cp932)); };
        app_.viewer().stageMail(text(mail.subject), text(mail.from), text(mail.date),
                                text(mail.body));
    }

  private:
    AppContext& app_;
    MainForm* main_;
    std::function<bool()> stopRequested_;
};

TyakuForm* visibleViewer(AppContext& app) {
    TyakuForm* viewer = app.loadedViewer();
    return viewer && viewer->isVisible() ? viewer : nullptr;
}

// A viewer the user has open is brought forward as it is; otherwise it is filled and shown.
void openViewerAfterCheck(AppContext& app) {
    if (TyakuForm* viewer = visibleViewer(app))
        AppContext::showWindow(*viewer);
    else
        app.viewer().openViewer();
}

MailCheckOutcome showCheckResult(AppContext& app, const MailCheckResult& result) {
    if (auto* main = dynamic_cast<MainForm*>(app.mainForm())) {
        if (result.stopped) {
            main->setStatusText(result.left > 0
                                    ? QStringLiteral("受信中止（残り %1 通）").arg(result.left)
                                    : QStringLiteral("受信を中止しました。"));
            if (result.count > 0) main->setWideLayout(true);
        } else if (result.count > 0) {
            main->setStatusText(QStringLiteral("新着メールがあります"));
            main->setWideLayout(true);
        } else if (!result.completed) {
            // A check that failed found out nothing about new mail; "none" would hide it.
            main->setStatusText(QStringLiteral("メールを受信できませんでした。"));
        } else {
            main->setStatusText(QStringLiteral("新着メール無し。"));
        }
        main->setNewMailCount(QString::number(result.count));
        if (result.count > 0 && main->autoOpenViewerChecked()) openViewerAfterCheck(app);
    }
    // An open viewer lists what the store now holds, so that its deletions act on what the
    // user sees; the mail the user reads there stays.
    if (TyakuForm* viewer = visibleViewer(app)) viewer->refreshList();
    return {result.count, result.completed, result.stopped, result.busy, result.left};
}

}  // namespace

MailCheckOutcome runMailCheck(AppContext& app, std::function<bool()> stopRequested) {
    WindowsCheckHost host(app, std::move(stopRequested));
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
    std::optional<StagedMail> lastStaged;  // written by the check's thread only
    MailCheckResult result;
    HandOffMark ended;  // the thread's last step; taken over after its wait()
};

// The check's side: every call is posted to the GUI thread and the check goes on at once.
class BackgroundMailCheck::ThreadHost : public MailCheckHost {
  public:
    ThreadHost(BackgroundMailCheck& owner, Run& run) : owner_(owner), run_(run) {}

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
        post([text, title](MailCheckHost& windows) { windows.notice(text, title); });
    }
    void tlsProblem(const MailLibrary::TlsProblem& problem, const std::string& text,
                    const std::string& advice) override {
        post([problem, text, advice](MailCheckHost& windows) {
            windows.tlsProblem(problem, text, advice);
        });
    }
    // The viewer takes the last mail when the check has ended.
    void stage(const StagedMail& mail) override { run_.lastStaged = mail; }
    void progress(int done, int total) override {
        BackgroundMailCheck* owner = &owner_;
        QMetaObject::invokeMethod(
            owner, handedOver([owner, done, total] {
                owner->deliver([owner, done, total] { emit owner->progressed(done, total); });
            }),
            Qt::QueuedConnection);
    }
    void downloading(int done, int total, std::int64_t received, std::int64_t listed) override {
        BackgroundMailCheck* owner = &owner_;
        auto show = [owner, done, total, received, listed] {
            emit owner->downloadProgressed(done, total, received, listed);
        };
        QMetaObject::invokeMethod(owner, handedOver([owner, show] { owner->deliver(show); }),
                                  Qt::QueuedConnection);
    }
    bool stopRequested() override { return owner_.stop_; }

  private:
    template <class Call>
    void post(Call call) {
        BackgroundMailCheck* owner = &owner_;
        // The owner outlives the thread; what is still queued when it goes is dropped. The
        // windows are the ones of this check, also for a step run after it.
        QMetaObject::invokeMethod(
            owner, handedOver([owner, call] {
                owner->deliver([windows = owner->windows_, call] { call(*windows); });
            }),
            Qt::QueuedConnection);
    }

    BackgroundMailCheck& owner_;
    Run& run_;
};

BackgroundMailCheck::BackgroundMailCheck(AppContext& app, QObject* parent)
    : QObject(parent), app_(app) {}

BackgroundMailCheck::~BackgroundMailCheck() { stopAndWait(); }

bool BackgroundMailCheck::start() {
    if (running()) return false;
    stop_ = false;
    app_.mail().resume(MailLibrary::Work::Receiving);
    windows_ = std::make_shared<WindowsCheckHost>(app_);
    run_ = std::make_shared<Run>();
    run_->account = app_.account;
    run_->recordBuffer = app_.recordBuffer;
    run_->currentRecord = app_.CurrentRecord;

    std::shared_ptr<Run> run = run_;
    AppContext& app = app_;
    thread_ = QThread::create([this, run, &app] {
        const HandOffAtExit ended(run->ended);
        ThreadHost host(*this, *run);
        MailCheck check(app.mail(), app.paths(), run->account, run->recordBuffer,
                        run->currentRecord, host);
        run->result = check.run();
    });
    thread_->setObjectName(QStringLiteral("MailCheck"));
    // Comes after everything the check posted, so the results are shown last.
    connect(
        thread_, &QThread::finished, this, [this] { deliver([this] { finish(); }); },
        Qt::QueuedConnection);
    thread_->start();
    return true;
}

void BackgroundMailCheck::requestStop() {
    stop_ = true;
    app_.mail().interrupt(MailLibrary::Work::Receiving);
}

void BackgroundMailCheck::stopAndWait() {
    steps_.clear();  // the program ends: what waits behind an open box is not shown
    if (!thread_) return;
    requestStop();
    thread_->wait();  // the check never waits for this thread, so this ends
    run_->ended.takeOver();
    delete thread_;
    thread_ = nullptr;
}

void BackgroundMailCheck::deliver(std::function<void()> step) {
    steps_.push_back(std::move(step));
    // A box runs its own event loop: what comes meanwhile waits until it is closed.
    if (delivering_) return;
    delivering_ = true;
    QPointer<BackgroundMailCheck> self(this);
    while (!steps_.empty()) {
        const std::function<void()> next = std::move(steps_.front());
        steps_.pop_front();
        next();
        if (!self) return;  // gone with the main window while a box was open
    }
    delivering_ = false;
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
    // The boxes and the record buffer take the last mail, unless the user reads a mail in an
    // open viewer: that one stays, so that what the user does next acts on it.
    if (result.stored > 0 && run_->lastStaged && !visibleViewer(app_)) {
        windows_->stage(*run_->lastStaged);
        app_.recordBuffer = run_->recordBuffer;
        app_.CurrentRecord = run_->currentRecord;
    }
    emit finished(showCheckResult(app_, result));
}

}  // namespace tsubame
