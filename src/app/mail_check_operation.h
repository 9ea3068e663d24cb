#pragma once

#include <QObject>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "receive/mail_check.h"

class QThread;

namespace tsubame {

class AppContext;

struct MailCheckOutcome {
    int count = 0;          // what the check puts into Text6
    bool completed = true;  // false: no connection, login refused, store error
    bool stopped = false;   // the user stopped it; the mails not taken in stay on the server
    bool busy = false;      // another writer kept the data folder locked; nothing was done
    int left = 0;           // stopped: how many of the mails counted at the login stay there
};

// The mail check behind the main window's receive button, on the calling thread (the command
// line). Uses the main window when one is registered in app, and the viewer (created hidden
// when needed) as the staging area.
// stopRequested, when given, is asked before each mail as the stop button's flag is (also on
// the check's decoder threads).
MailCheckOutcome runMailCheck(AppContext& app, std::function<bool()> stopRequested = {});

// The mail check on a thread of its own, so that the windows keep working meanwhile. What the
// check tells the windows reaches them on the GUI thread, in order; the check never waits for
// the GUI thread, so nothing the GUI thread waits for can be held by a check that waits for it.
// The check stages its mails apart from the windows: the viewer, the record buffer and the
// lists change only when it has ended, after its last message box is closed.
class BackgroundMailCheck : public QObject {
    Q_OBJECT
  public:
    explicit BackgroundMailCheck(AppContext& app, QObject* parent = nullptr);
    // Stops a running check after its current mail and waits for it.
    ~BackgroundMailCheck() override;

    // Starts a check; false when one is running.
    bool start();
    // The check ends at once: a wait for the server is interrupted, the mail under way is
    // dropped and stays on the server.
    void requestStop();
    bool running() const { return thread_ != nullptr; }
    bool stopRequested() const { return stop_; }
    // Stops the check and waits for its thread (the end of the program).
    void stopAndWait();

  signals:
    // done of total mails taken in.
    void progressed(int done, int total);
    // Inside a large mail: received of listed bytes (listed 0: not known) have come.
    void downloadProgressed(int done, int total, qint64 received, qint64 listed);
    // The results are shown (status, count, layout, viewer) when this comes.
    void finished(const tsubame::MailCheckOutcome& outcome);

  private:
    struct Run;
    class ThreadHost;
    friend class ThreadHost;

    // Runs one thing the check told, after everything it told before; nothing runs while one
    // of its message boxes is open.
    void deliver(std::function<void()> step);
    void finish();

    AppContext& app_;
    // The windows the check talks to; shared with a message box that may still be open.
    std::shared_ptr<MailCheckHost> windows_;
    QThread* thread_ = nullptr;
    std::shared_ptr<Run> run_;
    std::atomic<bool> stop_ = false;
    // What waits behind an open message box of the check, in the order the check told it.
    std::deque<std::function<void()>> steps_;
    bool delivering_ = false;
};

}  // namespace tsubame
