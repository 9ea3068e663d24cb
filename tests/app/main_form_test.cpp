#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>

#include "addressbook/friend_form.h"
#include "app/shell_fixture.h"
#include "compose/write_form.h"
#include "settings/profile_file.h"
#include "setup/id_pass_form.h"
#include "setup/option_form.h"
#include "setup/set_form.h"
#include "viewer/tyaku_form.h"

namespace tsubame::testing {
namespace {

constexpr int kRecordLength = 32284;

class MainFormTest : public ShellTest {
  protected:
    void saveLogin() {
        TempAppFolder::write(folder.dataFile("iniIdPass.ini"),
                             "[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n");
    }
    void saveServer(const std::string& lines) { TempAppFolder::write(folder.korumiIni(), lines); }
    // A run with everything configured, so that no dialog opens at start.
    void configure() {
        saveLogin();
        saveServer("SMTP=smtp.example.com\r\nPOP3=pop.example.com\r\nMAIL=me@example.com\r\n");
    }
    std::string windowOption(const char* key) const {
        return ProfileFile(folder.dataFile("ini.ini")).readString("EXEINI", key, "<missing>");
    }
    QString helpText() const { return child<QPlainTextEdit>("Text1")->toPlainText(); }
};

TEST_F(MainFormTest, FirstStartWithNoFilesOpensBothSettingsDialogs) {
    MainForm& main = start();
    EXPECT_EQ(main.windowTitle(), "開運！　招福！　千両、万両で笹もって来い！　Ver 1.0");
    EXPECT_EQ(child<QLineEdit>("Text4")->text(), "0");
    EXPECT_FALSE(child<QCheckBox>("Check1")->isChecked());
    EXPECT_FALSE(child<QCheckBox>("Check2")->isChecked());
    // The empty store now exists.
    ASSERT_TRUE(std::filesystem::exists(folder.dataFile("kordata2.data")));
    EXPECT_EQ(std::filesystem::file_size(folder.dataFile("kordata2.data")), 0u);

    ASSERT_NE(app->loadedOptionForm(), nullptr);
    EXPECT_TRUE(app->loadedOptionForm()->isVisible());
    ASSERT_NE(app->loadedIdPassForm(), nullptr);  // loaded; shown once the first one closes
    EXPECT_FALSE(app->loadedIdPassForm()->isVisible());
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_FALSE(main.isWideLayout());
    for (const char* picture : {"Picture7", "Picture9", "Picture8", "Picture10", "Picture1"})
        EXPECT_EQ(child<QLabel>(picture)->pixmap().size(), QSize(22, 22)) << picture;
    EXPECT_EQ(main.width(), 2190 / 15);
    EXPECT_EQ(main.height(), 4770 / 15);
}

TEST_F(MainFormTest, FirstStartOpensTheAccountDialogWhenTheServerDialogCloses) {
    for (const char* button : {"OKCommand", "CancelCommand"}) {
        restart().show();
        OptionForm* options = app->loadedOptionForm();
        ASSERT_NE(options, nullptr);
        QCoreApplication::processEvents();
        // The one dialog shown is the one in front, and it has the keyboard.
        EXPECT_EQ(QApplication::activeWindow(), options);
        EXPECT_FALSE(app->loadedIdPassForm()->isVisible());

        options->findChild<QPushButton*>(button)->click();
        QCoreApplication::processEvents();
        EXPECT_TRUE(app->loadedIdPassForm()->isVisible()) << button;
        EXPECT_EQ(QApplication::activeWindow(), app->loadedIdPassForm()) << button;
        app->loadedIdPassForm()->close();
        processDeletes();
    }
}

TEST_F(MainFormTest, ConfiguredStartOpensNoDialogAndStartsTheLibraryOnce) {
    configure();
    start();
    EXPECT_EQ(app->loadedOptionForm(), nullptr);
    // The account dialog is loaded to read its boxes, but stays hidden.
    ASSERT_NE(app->loadedIdPassForm(), nullptr);
    EXPECT_FALSE(app->loadedIdPassForm()->isVisible());
    EXPECT_EQ(app->account.Pop3Server, "pop.example.com");
    EXPECT_EQ(app->account.SmtpServer, "smtp.example.com");
    EXPECT_EQ(mail.calls, (std::vector<std::string>{"InitializeWinSock", "SetOption 1 8192"}));
}

TEST_F(MainFormTest, MissingPasswordAloneOpensTheAccountDialog) {
    saveServer("POP3=pop.example.com\r\n");
    TempAppFolder::write(folder.dataFile("iniIdPass.ini"), "[EXEINI]\r\nNAME=taro\r\n");
    start();
    EXPECT_EQ(app->loadedOptionForm(), nullptr);
    ASSERT_NE(app->loadedIdPassForm(), nullptr);
    EXPECT_TRUE(app->loadedIdPassForm()->isVisible());
    EXPECT_EQ(app->loadedIdPassForm()->idText(), "taro");
}

TEST_F(MainFormTest, StoredMailCountIsTheNumberOfRecords) {
    configure();
    TempAppFolder::write(folder.dataFile("kordata2.data"), std::string(3 * kRecordLength, ' '));
    MainForm& main = start();
    EXPECT_EQ(main.storedMailCount(), "3");
    main.setStoredMailCount("7");
    EXPECT_EQ(child<QLineEdit>("Text4")->text(), "7");
}

TEST_F(MainFormTest, ServerSettingsUseTheLastLineAndExactPrefixes) {
    saveLogin();
    saveServer("POP3=first.example.com\r\npop3=lower.example.com\r\nPOP3=second.example.com\r\n");
    start();
    EXPECT_EQ(app->account.Pop3Server, "second.example.com");
    EXPECT_EQ(app->loadedOptionForm(), nullptr);
}

TEST_F(MainFormTest, WindowOptionOtherThanZeroOrOneLeavesTheBoxUncheckedAndClosingStoresZero) {
    configure();
    TempAppFolder::write(folder.dataFile("ini.ini"),
                         "[Other]\r\nKEEP=me\r\n[EXEINI]\r\nNUMBER=2\r\nNUMBER2=1\r\nX=y\r\n");
    MainForm& main = start();
    EXPECT_FALSE(main.showHelpChecked());
    EXPECT_TRUE(main.autoOpenViewerChecked());
    main.close();
    EXPECT_EQ(windowOption("NUMBER"), "0");
    EXPECT_EQ(windowOption("NUMBER2"), "1");
    // Other lines and sections survive.
    const ProfileFile ini(folder.dataFile("ini.ini"));
    EXPECT_EQ(ini.readString("Other", "KEEP"), "me");
    EXPECT_EQ(ini.readString("EXEINI", "X"), "y");
}

TEST_F(MainFormTest, ShowHelpOptionShowsTheHelpBoxInsteadOfTheBanner) {
    configure();
    TempAppFolder::write(folder.dataFile("ini.ini"), "[EXEINI]\r\nNUMBER=1\r\n");
    MainForm& main = start();
    auto* text1 = child<QPlainTextEdit>("Text1");
    auto* banner = child<QWidget>("Picture6");
    EXPECT_TRUE(main.showHelpChecked());
    EXPECT_TRUE(text1->isVisibleTo(&main));
    EXPECT_FALSE(banner->isVisibleTo(&main));

    child<QCheckBox>("Check1")->click();
    EXPECT_FALSE(text1->isVisibleTo(&main));
    EXPECT_TRUE(banner->isVisibleTo(&main));
    main.setWideLayout(true);  // where the banner lies
    EXPECT_EQ(qobject_cast<QLabel*>(banner)->pixmap().size(), QSize(230, 100));
    main.close();
    EXPECT_EQ(windowOption("NUMBER"), "0");
    EXPECT_EQ(windowOption("NUMBER2"), "0");
}

TEST_F(MainFormTest, HoverWhileHelpIsHiddenShowsTheLastTextOnceChecked) {
    configure();
    MainForm& main = start();
    auto* text1 = child<QPlainTextEdit>("Text1");
    hover(child<QPushButton>("Command6"));
    hover(child<QPushButton>("Command4"));
    EXPECT_FALSE(text1->isVisibleTo(&main));
    EXPECT_EQ(helpText(), "新着メールの受信を行います。");

    child<QCheckBox>("Check1")->click();
    EXPECT_TRUE(text1->isVisibleTo(&main));
    EXPECT_EQ(helpText(), "新着メールの受信を行います。");

    // A pointer move over a control counts as well.
    QWidget* count = child<QLineEdit>("Text6");
    QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), QPointF(2, 2), QPointF(2, 2), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(count, &move);
    EXPECT_EQ(helpText(),
              "新着メール受信で、新着メール数を表示します。新着メールがなければ「０」が表示されま"
              "す。");
}

TEST_F(MainFormTest, EveryControlHasItsExactCaptionAndHoverText) {
    configure();
    start();
    const std::pair<const char*, const char*> captions[] = {{"Command3", "     新規作成"},
                                                            {"Command4", "     メール受信"},
                                                            {"Command6", "     メールを見る"},
                                                            {"Command5", "     アドレス帳"},
                                                            {"Command12", "HP"},
                                                            {"Command1", "   初期設定"}};
    for (const auto& [name, caption] : captions)
        EXPECT_EQ(child<QPushButton>(name)->text(), QString::fromUtf8(caption)) << name;
    const std::pair<const char*, const char*> labels[] = {
        {"Label1_1", "説明表示"},
        {"Label1_2", "新着メール有りでメールを見るを 自動表示"},
        {"Label1_0", "着信数（累積）"},
        {"Label4", "　新着数"}};
    for (const auto& [name, caption] : labels)
        EXPECT_EQ(child<QLabel>(name)->text(), QString::fromUtf8(caption)) << name;

    const std::pair<const char*, const char*> hovers[] = {
        {"Check1",
         "チェックを入れると、各画面で、ボタン類にマウスカーソルを移動させた時に、対応"
         "した説明が表示されます。チェックを外すと、非表示になります。"},
        {"Check2",
         "チェックを入れると、メールを受信し、新着メールがあった場合のみ、「メールを見る」"
         "画面を自動表示します。"},
        {"Command1",
         "ID,PASS,サーバーの設定を行います。この設定を行わないと、通信エラーが発生し"
         "ます。全５項目。"},
        {"Command3", "メールの新規作成・送信が行えます。"},
        {"Command4", "新着メールの受信を行います。"},
        {"Command5", "アドレス帳に登録、新規作成画面でのアドレス一発入力が出来るようになります。"},
        {"Command6", "受信したメールを見ます。"},
        {"Text3", "新着メールの有無を文字で表示します。"},
        {"Text4",
         "これまでに受信したメールの累積数を表示します。「メールを見る」画面で削除を行う"
         "と、それに伴って数字が変化します。"},
        {"Text6",
         "新着メール受信で、新着メール数を表示します。新着メールがなければ「０」が表示さ"
         "れます。"}};
    for (const auto& [name, text] : hovers) {
        hover(child<QWidget>(name));
        EXPECT_EQ(helpText(), QString::fromUtf8(text)) << name;
    }
    // The home-page button has a sentence of its own, not the text of the control before.
    hover(child<QWidget>("Command12"));
    EXPECT_FALSE(helpText().isEmpty());
    EXPECT_NE(helpText(), QString::fromUtf8(hovers[std::size(hovers) - 1].second));
}

TEST_F(MainFormTest, DoubleClickWidensAndReceiveNarrows) {
    configure();
    MainForm& main = start();
    auto* panel = child<QWidget>("Picture3");
    EXPECT_FALSE(panel->isVisibleTo(&main));

    QWidget* background = child<QWidget>("Picture2");
    QMouseEvent doubleClick(QEvent::MouseButtonDblClick, QPointF(140, 300), QPointF(140, 300),
                            QPointF(140, 300), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(background, &doubleClick);
    EXPECT_TRUE(main.isWideLayout());
    EXPECT_EQ(main.width(), 8400 / 15);
    EXPECT_TRUE(panel->isVisibleTo(&main));
    EXPECT_TRUE(child<QWidget>("WebBrowser1")->isVisibleTo(&main));

    child<QPushButton>("Command4")->click();
    EXPECT_EQ(main.width(), 2190 / 15);
    EXPECT_FALSE(panel->isVisibleTo(&main));
}

TEST_F(MainFormTest, HtmlPanelShowsTheLocalPage) {
    configure();
    const auto page = folder.folder() / "Flash" / "1.html";
    TempAppFolder::write(page, "<html><body><p>welcome page</p></body></html>");
    start();
    auto* browser = child<QTextBrowser>("WebBrowser1");
    EXPECT_EQ(browser->source(), QUrl::fromLocalFile(QString::fromStdString(page.string())));
    EXPECT_TRUE(browser->toPlainText().contains("welcome page"));
}

TEST_F(MainFormTest, ButtonsOpenTheirWindows) {
    configure();
    start();
    child<QPushButton>("Command1")->click();
    ASSERT_NE(app->loadedSetForm(), nullptr);
    EXPECT_TRUE(app->loadedSetForm()->isVisible());

    child<QPushButton>("Command3")->click();
    ASSERT_NE(app->loadedCompose(), nullptr);
    EXPECT_TRUE(app->loadedCompose()->isVisible());

    child<QPushButton>("Command5")->click();
    ASSERT_NE(app->loadedAddressBook(), nullptr);
    EXPECT_TRUE(app->loadedAddressBook()->isVisible());

    child<QPushButton>("Command6")->click();
    ASSERT_NE(app->loadedViewer(), nullptr);
    EXPECT_TRUE(app->loadedViewer()->isVisible());

    child<QPushButton>("Command12")->click();
    ASSERT_EQ(openedUrls.size(), 1u);
    EXPECT_EQ(openedUrls[0], MainForm::kHomePage);
    EXPECT_EQ(openedUrls[0].host(), "tsubame.example.com");
}

TEST_F(MainFormTest, ClosingWithTheComposeWindowOpenEndsWithoutQuestions) {
    configure();
    MainForm& main = start();
    AppContext::showWindow(app->compose());
    app->viewer();
    int closedSignals = 0;
    QObject::connect(&main, &MainForm::closed, [&] { ++closedSignals; });
    mail.calls.clear();

    EXPECT_TRUE(main.close());
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_EQ(app->loadedCompose(), nullptr);
    EXPECT_EQ(app->loadedViewer(), nullptr);
    EXPECT_EQ(app->loadedIdPassForm(), nullptr);
    EXPECT_EQ(mail.calls, std::vector<std::string>{"EndWinSock"});
    EXPECT_EQ(closedSignals, 1);
    EXPECT_EQ(windowOption("NUMBER"), "0");

    // A second close event does not end the library twice.
    QCloseEvent again;
    QCoreApplication::sendEvent(&main, &again);
    EXPECT_EQ(mail.calls, std::vector<std::string>{"EndWinSock"});
    EXPECT_EQ(closedSignals, 1);
}

TEST_F(MainFormTest, ClockShowsDateAndTime) {
    configure();
    start();
    auto* clock = child<QLineEdit>("Text2");
    QElapsedTimer waited;
    waited.start();
    while (clock->text().isEmpty() && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(clock->text().contains("  ")) << clock->text().toStdString();
}

TEST_F(MainFormTest, MissingDataFolderIsReportedAndTheWindowStillStarts) {
    configure();
    std::filesystem::remove_all(folder.folder() / "★MailData");
    MainForm& main = start();
    ASSERT_EQ(dialogs.boxes().size(), 1u);
    EXPECT_TRUE(dialogs.boxes()[0].text.startsWith("受信メールの保存ファイルを開けません。"));
    EXPECT_EQ(main.storedMailCount(), "0");
}

}  // namespace
}  // namespace tsubame::testing
