// The check in the window against other writers of the store: the data folder's lock, and an
// open viewer that must list what the check stored.
#include <QLineEdit>

#include "app/mail_check_fixture.h"
#include "app/main_form.h"
#include "core/data_folder_lock.h"
#include "support/lock_holder.h"
#include "viewer/tyaku_form.h"

namespace tsubame::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(MailCheckTest, CheckGivesUpWhileAnotherProcessWritesAndTouchesNothing) {
    MainForm main(*app_);
    addMails(2);
    ScopedLockWait wait(200ms);
    LockHolderProcess other(app_->paths().dataFolderLock());
    ASSERT_TRUE(other.holding());

    const MailCheckOutcome outcome = runMailCheck(*app_);

    EXPECT_TRUE(outcome.busy);
    EXPECT_FALSE(outcome.completed);
    EXPECT_EQ(callsNamed("Connect"), 0);
    EXPECT_EQ(mail_.mailbox.size(), 2u);
    EXPECT_EQ(store().wholeRecords(), 0);
    ASSERT_EQ(dialogs_.boxes().size(), 1u);
    EXPECT_EQ(dialogs_.boxes()[0].title, QStringLiteral("エラー"));
    EXPECT_TRUE(dialogs_.boxes()[0].text.contains(QString::fromUtf8(kDataFolderBusy)));
}

TEST_F(MailCheckTest, OpenViewerListsWhatTheCheckStoredSoDeleteAllRemovesWhatItShows) {
    MainForm main(*app_);
    ASSERT_FALSE(main.autoOpenViewerChecked());
    addNumberedRecords(2);
    TyakuForm& viewer = app_->viewer();
    viewer.openViewer();
    addMails(3);
    runMailCheck(*app_);

    EXPECT_EQ(viewer.listRowCount(), 5);
    EXPECT_EQ(viewer.countBox()->text(), QStringLiteral("5"));
    EXPECT_EQ(main.storedMailCount(), QStringLiteral("5"));
    dialogs_.answerNext(BoxAnswer::Yes);
    viewer.deleteAllMail();
    EXPECT_EQ(store().wholeRecords(), 0);
}

}  // namespace
}  // namespace tsubame::testing
