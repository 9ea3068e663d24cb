// Pictures of the windows with Japanese text for the documentation. Disabled in normal test
// runs; scripts/screenshots.sh runs it on a virtual X display with TSUBAME_SCREENSHOT_DIR set.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QTextEdit>
#include <QThread>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <thread>

#include "addressbook/friend_form.h"
#include "app/main_form.h"
#include "compose/write_form.h"
#include "context/app_context.h"
#include "core/cp932.h"
#include "reply/back_form.h"
#include "settings/settings_files.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_mail_library.h"
#include "support/temp_folder.h"
#include "support/test_app_context.h"
#include "viewer/mail_list_model.h"
#include "viewer/tyaku_form.h"

namespace tsubame {
namespace {

void settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(25);
    }
}

void save(QWidget& window, const QString& folder, const char* name) {
    AppContext::showWindow(window);
    settle();
    ASSERT_TRUE(window.grab().save(folder + "/" + name)) << name;
}

TEST(Screenshots, DISABLED_WindowsWithJapaneseText) {
    const QString folder = qEnvironmentVariable("TSUBAME_SCREENSHOT_DIR");
    if (folder.isEmpty()) GTEST_SKIP() << "TSUBAME_SCREENSHOT_DIR is not set";
    testing::TempFolder appFolder;
    std::filesystem::create_directory(appFolder.path() / "★MailData");
    testing::ScriptedMailLibrary mail;
    testing::ScriptedDialogs dialogs;
    testing::TestAppContext app(AppPaths(appFolder.path()), mail, dialogs);

    const char* mails[][4] = {
        {"会議の日程について", "suzuki@example.jp", "Mon, 7 Dec 2026 09:12:00 +0900",
         "山田様\r\n\r\n来週の会議は水曜日の午後二時からに変更になりました。\r\n"
         "資料は前日までにお送りします。\r\n\r\n鈴木"},
        {"【お知らせ】年末年始の営業時間", "info@shop.example.jp", "Sun, 6 Dec 2026 18:30:00 +0900",
         "年末年始は十二月二十九日から一月三日まで休業します。"},
        {"Re: 写真ありがとう", "hanako@example.jp", "Sat, 5 Dec 2026 21:05:00 +0900",
         "写真届きました。とても綺麗ですね！"}};
    for (const auto& m : mails) {
        ReceivedMailRecord record;
        record.fill(utf8ToCp932(m[0]), utf8ToCp932(m[2]), utf8ToCp932(m[1]), utf8ToCp932(m[3]));
        ASSERT_TRUE(app.receivedStore().append(record).ok());
    }
    for (const auto& [name, address] :
         {std::pair{"鈴木 一郎", "suzuki@example.jp"}, std::pair{"佐藤 花子", "hanako@example.jp"},
          std::pair{"田中 太郎", "tanaka@example.jp"}})
        ASSERT_TRUE(
            app.addressStore().append(AddressRecord(utf8ToCp932(name), utf8ToCp932(address))));

    MainForm main(app);
    main.load();
    main.setWideLayout(true);
    main.setNewMailCount("3");
    main.setStatusText("新着メールがあります");
    if (auto* showHelp = main.findChild<QCheckBox*>("Check1"); showHelp && !showHelp->isChecked())
        showHelp->click();
    main.setHelpText("メールを受信します。");
    save(main, folder, "main-window.png");

    TyakuForm& viewer = app.viewer();
    viewer.openViewer();
    viewer.mailList()->setCurrentIndex(viewer.listModel().index(0, 0));
    viewer.showSelectedMail();
    viewer.findChild<QLineEdit*>("Text1")->setText("会議");
    // The pointer crossing the list puts the empty help box away, as it does for the user.
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(viewer.mailList()->viewport(), &move);
    save(viewer, folder, "viewer.png");

    WriteForm& compose = app.compose();
    compose.recipientBox()->setText("hanako@example.jp");
    compose.subjectBox()->setText("忘年会のご案内");
    compose.body()->setPlainText(
        "佐藤様\n\nいつもお世話になっております。\n今年の忘年会は十二月十八日（金）に"
        "駅前の和食店で行います。\nご都合をお知らせください。\n\n田中");
    save(compose, folder, "compose.png");

    BackForm& reply = app.reply();
    reply.fillReply(" 会議の日程について ", "suzuki@example.jp",
                    "山田様\n\n来週の会議は水曜日の午後二時からに変更になりました。");
    save(reply, folder, "reply.png");

    FriendForm& book = app.addressBook();
    book.refreshList();
    book.setAddressText("kimura@example.jp");
    save(book, folder, "addressbook.png");

    // The main window while a check is on its way: mail 3 of 8 waits until the picture is taken.
    MainForm checking(app);
    checking.load();
    app.account.Pop3Server = "pop.example.jp";
    SettingsFiles settings(app.paths());
    ASSERT_TRUE(settings.writeLogin("NAME", "user").ok());
    ASSERT_TRUE(settings.writeLogin("NAME2", "pass").ok());
    for (int i = 1; i <= 8; ++i)
        mail.addMail(utf8ToCp932("お知らせ " + std::to_string(i)), "info@example.jp",
                     "Mon, 7 Dec 2026 09:00:00 +0900", utf8ToCp932("本文"), 0);
    std::atomic<bool> pictureTaken = false;
    mail.onFetch = [&](int mailNo) {
        while (mailNo == 3 && !pictureTaken)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    AppContext::showWindow(checking);
    checking.findChild<QPushButton*>("Command4")->click();
    save(checking, folder, "main-window-checking.png");
    pictureTaken = true;
    for (int i = 0; i < 200 && !checking.findChild<QPushButton*>("Command4")
                                    ->text()
                                    .contains(QStringLiteral("メール受信"));
         ++i)
        settle();
}

}  // namespace
}  // namespace tsubame
