// The viewer's deletions against other writers of the store: the lock they share, and a list
// older than the store.
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>

#include "core/data_folder_lock.h"
#include "support/lock_holder.h"
#include "viewer/tyaku_form.h"
#include "viewer/viewer_fixture.h"

namespace tsubame::testing {
namespace {

using namespace std::chrono_literals;

class ViewerDataLockTest : public AppFolderTest {
  protected:
    void deleteConfirmed(bool all) {
        dialogs_.answerNext(BoxAnswer::Yes);
        all ? viewer().deleteAllMail() : viewer().deleteSelectedMail();
    }
    bool errorShown(const QString& part) const {
        for (const auto& box : dialogs_.boxes())
            if (box.title == QStringLiteral("エラー") && box.text.contains(part)) return true;
        return false;
    }
};

TEST_F(ViewerDataLockTest, DeletionsGiveUpWhileAnotherProcessWritesAndChangeNothing) {
    ScopedLockWait wait(200ms);
    for (bool all : {false, true}) {
        SCOPED_TRACE(all ? "delete all" : "delete one");
        addNumberedRecords(3);
        const std::string before = readFileBytes(storePath());
        openAndSelect(2);
        // The window keeps answering while the deletion waits (a check may hold the lock).
        int ticks = 0;
        bool toldWaiting = false;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            ++ticks;
            toldWaiting |= viewer().windowTitle().contains(QStringLiteral("待って削除します"));
        });
        ticker.start(10);
        {
            LockHolderProcess other(app_->paths().dataFolderLock());
            ASSERT_TRUE(other.holding());
            deleteConfirmed(all);
        }
        EXPECT_GE(ticks, 5);
        EXPECT_TRUE(toldWaiting);
        EXPECT_TRUE(errorShown(QString::fromUtf8(kDataFolderBusy)));
        EXPECT_EQ(readFileBytes(storePath()), before);
        EXPECT_EQ(viewer().listRowCount(), 3);
        std::filesystem::remove(storePath());
        dialogs_.clear();
    }
}

TEST_F(ViewerDataLockTest, DeletionsActOnlyOnWhatTheListShows) {
    // The list shows records 1 and 2; meanwhile another process stores a third mail.
    addNumberedRecords(2);
    openAndSelect(1);
    addRecord("後から届いた", "late@example.jp", "Mon, 7 Dec 2026 12:00:00 +0900", "本文");
    deleteConfirmed(true);
    EXPECT_EQ(store().wholeRecords(), 1);
    EXPECT_EQ(storedSubject(1), "後から届いた");
    EXPECT_EQ(viewer().listRowCount(), 1);
    EXPECT_EQ(viewer().countBox()->text(), QStringLiteral("1"));

    // Another process removes record 1 after the list was read: row 2 now names another
    // record, which must not go.
    addNumberedRecords(2);
    openAndSelect(2);
    ASSERT_TRUE(store().remove(1).ok());
    deleteConfirmed(false);
    EXPECT_TRUE(errorShown(QStringLiteral("一覧の表示後")));
    EXPECT_EQ(store().wholeRecords(), 2);
    EXPECT_EQ(viewer().listRowCount(), 2);  // read again from the store
}

}  // namespace
}  // namespace tsubame::testing
