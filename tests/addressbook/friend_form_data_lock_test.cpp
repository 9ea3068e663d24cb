// The address book's register and remove against other writers.
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>

#include "address_book_fixture.h"
#include "addressbook/friend_form.h"
#include "core/data_folder_lock.h"
#include "support/lock_holder.h"

namespace tsubame::testing {
namespace {

using namespace std::chrono_literals;

TEST_F(AddressBookTest, RegisterAndRemoveGiveUpWhileAnotherProcessWritesTheBook) {
    addEntry("one", "one@example.com");
    addEntry("two", "two@example.com");
    FriendForm& form = app->addressBook();
    form.show();
    ScopedLockWait wait(200ms);
    LockHolderProcess other(app->paths().addressBookLock());
    ASSERT_TRUE(other.holding());

    child<QLineEdit>(form, "Text4")->setText("new@example.com");
    // A second click while the first register waits is ignored, not nested in its wait.
    QTimer::singleShot(50ms, [&] { child<QPushButton>(form, "Command3")->click(); });
    child<QPushButton>(form, "Command3")->click();  // register

    QTreeView* list = child<QTreeView>(form, "MailListView");
    clickRow(*list, list->model()->index(0, 0));
    dialogs.answerNext(BoxAnswer::Yes);
    child<QPushButton>(form, "Command4")->click();  // remove

    EXPECT_EQ(storedAddresses(), (std::vector<std::string>{"one@example.com", "two@example.com"}));
    int told = 0;
    for (const QString& text : dialogs.boxTexts())
        told += text == QString::fromUtf8(kAddressBookBusy);
    EXPECT_EQ(told, 2);
}

TEST_F(AddressBookTest, RegisterDoesNotWaitForAMailCheck) {
    LockHolderProcess check(app->paths().dataFolderLock());
    ASSERT_TRUE(check.holding());
    FriendForm& form = app->addressBook();
    child<QLineEdit>(form, "Text4")->setText("new@example.com");
    child<QPushButton>(form, "Command3")->click();
    EXPECT_EQ(storedAddresses(), std::vector<std::string>{"new@example.com"});
}

}  // namespace
}  // namespace tsubame::testing
