// The mail check started from the main window runs beside the windows: they keep answering
// and repainting, the progress shows, and a stop leaves the mails not yet taken in.
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "app/mail_check_fixture.h"
#include "app/main_form.h"
#include "context/background_work.h"
#include "core/thread_handoff.h"
#include "reply/back_form.h"
#include "support/paint_watch.h"

namespace tsubame::testing {
namespace {

using namespace std::chrono_literals;

// Runs the GUI thread's events until done() holds or the time is up.
bool processUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limit.count()) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Waits on the check's side for something the GUI thread has to do.
bool waitFor(const std::atomic<bool>& flag, std::chrono::milliseconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!flag && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(5ms);
    return flag;
}

class BackgroundCheckTest : public MailCheckTest {
  public:
    QString mainText(const char* name) {
        return main_->findChild<QLineEdit*>(QString::fromLatin1(name))->text();
    }
    QPushButton* receiveButton() { return main_->findChild<QPushButton*>("Command4"); }
    bool newMailCountShown() { return !mainText("Text6").isEmpty(); }

    std::unique_ptr<MainForm> main_ = std::make_unique<MainForm>(*app_);
};

TEST_F(BackgroundCheckTest, WindowRepaintsAndShowsProgressWhileASlowCheckRuns) {
    addMails(4);
    main_->show();
    PaintWatch watch;
    main_->installEventFilter(&watch);
    if (auto* bar = main_->findChild<QProgressBar*>("CheckProgress"))
        bar->installEventFilter(&watch);
    // Something asks the window to repaint all the time, as a window manager would.
    QTimer repaint;
    QObject::connect(&repaint, &QTimer::timeout, main_.get(), [this] { main_->update(); });
    repaint.start(5);

    // Each fetch takes until the window has painted again (or a second, when it cannot).
    std::vector<bool> paintedDuringFetch;
    mail_.onFetch = [&](int) {
        const int before = watch.paints;
        std::atomic<bool> painted = false;
        const auto until = std::chrono::steady_clock::now() + 1s;
        while (!painted && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(5ms);
            painted = watch.paints > before;
        }
        paintedDuringFetch.push_back(painted);
    };
    receiveButton()->click();
    ASSERT_TRUE(processUntil([this] { return newMailCountShown(); }));

    EXPECT_EQ(paintedDuringFetch, std::vector<bool>(4, true));
    EXPECT_TRUE(watch.progressTexts.count(QStringLiteral("2 / 4"))) << watch.progressTexts.size();
    EXPECT_EQ(mainText("Text6"), QStringLiteral("4"));
    EXPECT_EQ(storedSubjects(), (std::vector<std::string>{"件名1", "件名2", "件名3", "件名4"}));
    EXPECT_TRUE(mail_.mailbox.empty());
    // Once done, the button and the status line are back.
    EXPECT_EQ(receiveButton()->text(), QStringLiteral("     メール受信"));
    EXPECT_TRUE(main_->findChild<QLineEdit*>("Text3")->isVisible());
}

TEST_F(BackgroundCheckTest, TheBarTellsTheBytesOfALargeMailUntilTheNextCount) {
    auto* check = main_->findChild<BackgroundMailCheck*>();
    auto* bar = main_->findChild<QProgressBar*>("CheckProgress");
    emit check->downloadProgressed(3, 10, 25 << 19, 30 << 20);
    EXPECT_EQ(bar->text(), QStringLiteral("3 / 10 件 12.5 / 30 MB"));
    EXPECT_LE(bar->fontMetrics().horizontalAdvance(bar->text()), bar->width());
    emit check->progressed(4, 10);
    EXPECT_EQ(bar->text(), QStringLiteral("4 / 10"));
}

// A stop asked for during mail 2: mail 1 is stored and removed, 2 (under way) to 5 stay.
TEST_F(BackgroundCheckTest, StopDropsTheMailUnderWayAndLeavesTheRest) {
    struct Stop {
        const char* how;
        std::function<void(BackgroundCheckTest&)> stop;
        QString newMailCount;  // closing the window ends the program: nothing more is shown
    };
    const std::vector<Stop> stops = {
        {"the button", [](BackgroundCheckTest& t) { t.receiveButton()->click(); }, "1"},
        {"Esc",
         [](BackgroundCheckTest& t) {
             QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
             QApplication::sendEvent(t.main_.get(), &escape);
         },
         "1"},
        {"closing the main window", [](BackgroundCheckTest& t) { t.main_->close(); }, ""},
    };
    for (const auto& [how, stop, newMailCount] : stops) {
        SCOPED_TRACE(how);
        mail_.mailbox.clear();
        std::filesystem::remove(storePath());
        main_ = std::make_unique<MainForm>(*app_);
        main_->show();
        addMails(5);

        std::atomic<bool> stopped = false;
        mail_.onFetch = [&](int n) {
            if (n != 2) return;
            QMetaObject::invokeMethod(main_.get(), handedOver([&] {
                                          EXPECT_EQ(receiveButton()->text(),
                                                    QStringLiteral("     中止"));
                                          stop(*this);
                                          stopped = true;
                                      }),
                                      Qt::QueuedConnection);
            waitFor(stopped, 1s);
        };
        receiveButton()->click();
        ASSERT_TRUE(processUntil([&] { return stopped && !main_->checkRunning(); }));
        QApplication::processEvents();

        EXPECT_EQ(storedSubjects(), (std::vector<std::string>{"件名1"}));
        ASSERT_EQ(mail_.mailbox.size(), 4u);
        EXPECT_EQ(cp932ToUtf8(mail_.mailbox.front().subject), "件名2");
        EXPECT_EQ(callsNamed("GetMail "), 2);
        EXPECT_EQ(callsNamed("Close"), 1);
        EXPECT_EQ(mainText("Text6"), newMailCount);
        EXPECT_TRUE(receiveButton()->isEnabled() || newMailCount.isEmpty());
        EXPECT_TRUE(dialogs_.boxes().empty());
        mail_.calls.clear();
    }
}

// What the user does in the viewer during a check acts on the mail the user chose: the check's
// mails reach the boxes of no open viewer.
TEST_F(BackgroundCheckTest, ReplyDuringACheckAnswersTheMailTheUserChose) {
    addNumberedRecords(2);
    openAndSelect(1);
    for (int i = 1; i <= 3; ++i) addMail("新着" + std::to_string(i), "新しい本文");
    mail_.onFetch = [&](int n) {
        if (n != 2) return;
        // As the user would, while the check's thread waits; the hand-over is marked for the
        // sanitizer as the program's own are.
        callOnGui([this] { viewer().findChild<QPushButton*>("Command5")->click(); });
    };
    receiveButton()->click();
    ASSERT_TRUE(processUntil([this] { return newMailCountShown(); }));

    EXPECT_EQ(app_->reply().findChild<QLineEdit*>("ToText")->text(), "from1@example.jp");
    EXPECT_EQ(viewer().listRowCount(), 5);
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("件名1"));
    EXPECT_EQ(viewer().selectedRecord(), 1);
}

// The results come after the check's message boxes: nothing behind an open box changes.
TEST_F(BackgroundCheckTest, ResultsWaitUntilTheLastBoxIsClosed) {
    addMail("分割", "本文", -6);
    addMail("最後", "本文");
    QStringList countBehindBox;
    dialogs_.onBox = [&](const ScriptedDialogs::Box&) {
        processUntil([] { return false; }, 500ms);  // the check's thread ends meanwhile
        countBehindBox << mainText("Text6");
    };
    receiveButton()->click();
    ASSERT_TRUE(processUntil([this] { return newMailCountShown(); }));

    EXPECT_EQ(countBehindBox, QStringList{QString()});
    EXPECT_EQ(mainText("Text6"), QStringLiteral("2"));
    EXPECT_EQ(viewer().subjectBox()->text(), QStringLiteral("最後"));  // in the hidden viewer
}

}  // namespace
}  // namespace tsubame::testing
