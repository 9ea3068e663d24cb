#include "app/main_form.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QImageReader>
#include <QKeyEvent>
#include <QLocale>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <utility>

#include "addressbook/friend_form.h"
#include "app/hover_help.h"
#include "app/mail_check_operation.h"
#include "app/mail_session.h"
#include "compose/write_form.h"
#include "context/app_context.h"
#include "setup/id_pass_form.h"
#include "setup/option_form.h"
#include "setup/set_form.h"
#include "ui/fonts.h"
#include "ui_main_form.h"
#include "viewer/tyaku_form.h"

// The window's pictures live in a resource file of a static library; they must be
// registered explicitly, outside any namespace.
static void registerMainFormResources() { Q_INIT_RESOURCE(tsubame); }

namespace tsubame {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kNarrowWidth = 2190 / kTwipsPerPixel;
constexpr int kWideWidth = 8400 / kTwipsPerPixel;
constexpr int kClientHeight = 4770 / kTwipsPerPixel;
constexpr int kClockIntervalMs = 20;

const QString kReceiveCaption = QStringLiteral("     メール受信");
const QString kStopCaption = QStringLiteral("     中止");

constexpr const char* kShowHelpKey = "NUMBER";
constexpr const char* kAutoOpenViewerKey = "NUMBER2";

// A picture of the resource file. Named as PNG, Qt reads it itself; otherwise it first loads
// every image plugin to ask whether one of them reads the picture.
QPixmap resourcePng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

// The main window is shown after its load step and takes the keyboard then; a dialog the
// load step opened takes it back once that show has run.
void showTakingTheKeyboard(QWidget& dialog) {
    AppContext::showWindow(dialog);
    QTimer::singleShot(0, &dialog, [&dialog] {
        if (dialog.isVisible()) AppContext::showWindow(dialog);
    });
}

}  // namespace

const QUrl MainForm::kHomePage(QStringLiteral("https://tsubame.example.com/"));

MainForm::MainForm(AppContext& app, QWidget* parent)
    : QWidget(parent), app_(app), ui_(std::make_unique<Ui::MainForm>()) {
    registerMainFormResources();
    // Before the controls are built, so that they look for no other font.
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    ui_->setupUi(this);
    app_.setMainForm(this);
    openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    // The pictures decorate their buttons; a click on them belongs to the button below.
    const std::pair<QLabel*, const char*> pictures[] = {{ui_->Picture7, "compose"},
                                                        {ui_->Picture9, "receive"},
                                                        {ui_->Picture8, "view"},
                                                        {ui_->Picture10, "addressbook"},
                                                        {ui_->Picture1, "settings"}};
    for (const auto& [picture, name] : pictures) {
        picture->setPixmap(resourcePng(QStringLiteral(":/icons/%1.png").arg(name)));
        picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    ui_->Picture6->raise();
    ui_->Text1->raise();
    connectControls();
    installHoverHelp();
    applyShowHelp();
    setupCheckProgress();

    clock_ = new QTimer(this);
    clock_->setObjectName("Timer2");
    clock_->setInterval(kClockIntervalMs);
    connect(clock_, &QTimer::timeout, this, &MainForm::updateClock);
    clock_->start();
    setFixedSize(kNarrowWidth, kClientHeight);
}

MainForm::~MainForm() {
    if (app_.mainForm() == this) app_.setMainForm(nullptr);
}

void MainForm::connectControls() {
    connect(ui_->Command3, &QPushButton::clicked, this,
            [this] { AppContext::showWindow(app_.compose()); });
    connect(ui_->Command4, &QPushButton::clicked, this, &MainForm::receiveMail);
    connect(ui_->Command6, &QPushButton::clicked, this, [this] { app_.viewer().openViewer(); });
    connect(ui_->Command5, &QPushButton::clicked, this,
            [this] { AppContext::showWindow(app_.addressBook()); });
    connect(ui_->Command1, &QPushButton::clicked, this,
            [this] { AppContext::showWindow(app_.setForm()); });
    connect(ui_->Command12, &QPushButton::clicked, this, [this] { openUrl_(kHomePage); });
    // Checking or unchecking, by the user or by the start-up, runs the click step.
    connect(ui_->Check1, &QCheckBox::toggled, this, &MainForm::applyShowHelp);
    ui_->Picture2->installEventFilter(this);
}

void MainForm::installHoverHelp() {
    hoverHelp_ = new HoverHelp([this](const QString& text) { setHelpText(text); }, this);
    hoverHelp_->add(ui_->Check1,
                    QStringLiteral("チェックを入れると、各画面で、ボタン類にマウスカーソルを移動"
                                   "させた時に、対応した説明が表示されます。チェックを外すと、非"
                                   "表示になります。"));
    hoverHelp_->add(ui_->Check2,
                    QStringLiteral("チェックを入れると、メールを受信し、新着メールがあった場合の"
                                   "み、「メールを見る」画面を自動表示します。"));
    hoverHelp_->add(ui_->Command1,
                    QStringLiteral("ID,PASS,サーバーの設定を行います。この設定を行わないと、通信"
                                   "エラーが発生します。全５項目。"));
    hoverHelp_->add(
        ui_->Command12,
        QStringLiteral("作者のホームページ（メールソフトのお店）をブラウザで開きます。"));
    hoverHelp_->add(ui_->Command3, QStringLiteral("メールの新規作成・送信が行えます。"));
    hoverHelp_->add(ui_->Command4, QStringLiteral("新着メールの受信を行います。"));
    hoverHelp_->add(ui_->Command5,
                    QStringLiteral("アドレス帳に登録、新規作成画面でのアドレス一発入力が出来るよう"
                                   "になります。"));
    hoverHelp_->add(ui_->Command6, QStringLiteral("受信したメールを見ます。"));
    hoverHelp_->add(ui_->Text3, QStringLiteral("新着メールの有無を文字で表示します。"));
    hoverHelp_->add(ui_->Text4,
                    QStringLiteral("これまでに受信したメールの累積数を表示します。「メールを見る」"
                                   "画面で削除を行うと、それに伴って数字が変化します。"));
    hoverHelp_->add(ui_->Text6,
                    QStringLiteral("新着メール受信で、新着メール数を表示します。新着メールがなけれ"
                                   "ば「０」が表示されます。"));
}

void MainForm::load() {
    setWideLayout(false);
    showLocalPage();
    ui_->Text1->hide();
    applyWindowOption(kShowHelpKey, ui_->Check1);
    applyWindowOption(kAutoOpenViewerKey, ui_->Check2);
    countStoredMail();
    const ServerSettingsSource source = loadAccountServerSettings(app_);
    if (!source.notice.empty()) setStatusText(QString::fromStdString(source.notice));
    if (source.unreadable) app_.dialogs().notice(this, QString::fromStdString(source.notice));
    startMailLibrary(app_.mail());
    openSettingsWhenMissing();
}

void MainForm::showLocalPage() {
    // The page is part of the installation; without it the panel simply stays empty.
    const std::filesystem::path page = app_.paths().flashPage();
    std::error_code error;
    if (!std::filesystem::is_regular_file(page, error)) return;
    ui_->WebBrowser1->setSource(QUrl::fromLocalFile(QString::fromStdString(page.string())));
}

void MainForm::applyWindowOption(const char* key, QCheckBox* box) {
    // 1 checks, 0 unchecks, any other value leaves the box as designed.
    const int value = app_.settingsFiles().readWindowOption(key);
    if (value == 1) box->setChecked(true);
    if (value == 0) box->setChecked(false);
}

void MainForm::countStoredMail() {
    const ReceivedMailStore store = app_.receivedStore();
    if (Status status = store.createIfMissing(); !status) {
        app_.dialogs().notice(this, QStringLiteral("受信メールの保存ファイルを開けません。\n") +
                                        QString::fromStdString(status.message()));
    }
    setStoredMailCount(QString::number(store.count()));
}

void MainForm::openSettingsWhenMissing() {
    IdPassForm& login = app_.idPassForm();
    const bool loginMissing = login.idText().isEmpty() || login.passText().isEmpty();
    if (!app_.account.Pop3Server.empty()) {
        if (loginMissing) showTakingTheKeyboard(login);
        return;
    }
    OptionForm& options = app_.optionForm();
    showTakingTheKeyboard(options);
    if (!loginMissing) return;
    // One dialog at a time: with both open, the keyboard went to the account dialog hidden
    // behind the server dialog that stays on top. The account dialog follows when it closes.
    connect(&options, &QDialog::finished, this, [login = QPointer<IdPassForm>(&login)] {
        if (login) AppContext::showWindow(*login);
    });
}

void MainForm::setWideLayout(bool wide) {
    wide_ = wide;
    // The banner lies in the wide part only; its picture is read when that part first shows.
    if (wide && ui_->Picture6->pixmap().isNull())
        ui_->Picture6->setPixmap(resourcePng(QStringLiteral(":/icons/banner.png")));
    ui_->Picture3->setVisible(wide);
    ui_->WebBrowser1->setVisible(wide);
    setFixedSize(wide ? kWideWidth : kNarrowWidth, kClientHeight);
}

void MainForm::applyShowHelp() {
    const bool show = ui_->Check1->isChecked();
    ui_->Text1->setVisible(show);
    ui_->Picture6->setVisible(!show);
}

void MainForm::setHelpText(const QString& text) { ui_->Text1->setPlainText(text); }
void MainForm::setStatusText(const QString& text) {
    ui_->Text3->setText(text);
    // The box is narrow: a longer text shows its beginning, where its point is.
    ui_->Text3->setCursorPosition(0);
}
void MainForm::setNewMailCount(const QString& text) { ui_->Text6->setText(text); }
void MainForm::setStoredMailCount(const QString& text) { ui_->Text4->setText(text); }
QString MainForm::storedMailCount() const { return ui_->Text4->text(); }
bool MainForm::showHelpChecked() const { return ui_->Check1->isChecked(); }
bool MainForm::autoOpenViewerChecked() const { return ui_->Check2->isChecked(); }

void MainForm::setupCheckProgress() {
    check_ = new BackgroundMailCheck(app_, this);
    connect(check_, &BackgroundMailCheck::progressed, this, &MainForm::showCheckProgress);
    connect(check_, &BackgroundMailCheck::downloadProgressed, this,
            &MainForm::showDownloadProgress);
    connect(check_, &BackgroundMailCheck::finished, this, &MainForm::checkFinished);

    // "n / N" over a bar in the colour of the receive button, where the status line is.
    checkProgress_ = new QProgressBar(ui_->Text3->parentWidget());
    checkProgress_->setObjectName("CheckProgress");
    checkProgress_->setGeometry(ui_->Text3->geometry());
    checkProgress_->setFormat(QStringLiteral("%v / %m"));
    checkProgress_->setAlignment(Qt::AlignCenter);
    checkProgress_->setStyleSheet(QStringLiteral(
        "QProgressBar { background-color: #ffffff; color: #000000; border: 1px solid #808080; }"
        "QProgressBar::chunk { background-color: #ff8080; }"));
    checkProgress_->hide();
}

bool MainForm::checkRunning() const { return check_->running(); }

void MainForm::receiveMail() {
    if (checkRunning()) {
        stopCheck();
        return;
    }
    // Narrow while the check runs; it widens again when new mail came.
    setWideLayout(false);
    ui_->Command4->setText(kStopCaption);
    checkProgress_->setRange(0, 0);  // busy until the number of mails is known
    checkProgress_->show();
    checkProgress_->raise();
    ui_->Text3->hide();
    check_->start();
}

void MainForm::stopCheck() {
    check_->requestStop();
    // Pressed once is enough; the button comes back when the check has ended.
    ui_->Command4->setEnabled(false);
}

void MainForm::showCheckProgress(int done, int total) {
    checkProgress_->setFont(checkProgress_->parentWidget()->font());
    checkProgress_->setFormat(QStringLiteral("%v / %m"));
    checkProgress_->setRange(0, total);
    checkProgress_->setValue(done);
}

void MainForm::showDownloadProgress(int done, int total, qint64 received, qint64 listed) {
    // Megabytes to a tenth, without a ".0": "12.5 / 30 MB".
    auto megabytes = [](qint64 bytes) {
        const qint64 tenths = bytes * 10 / (qint64{1} << 20);
        return tenths % 10 == 0 ? QString::number(tenths / 10)
                                : QStringLiteral("%1.%2").arg(tenths / 10).arg(tenths % 10);
    };
    QString bytes = megabytes(received);
    if (listed > 0) bytes += QStringLiteral(" / ") + megabytes(listed);
    bytes = QStringLiteral(" 件 ") + bytes + QStringLiteral(" MB");
    // The bar is as narrow as the status line: a text too wide for it takes a smaller font.
    const QString shown = QStringLiteral("%1 / %2").arg(done).arg(total) + bytes;
    QFont font = checkProgress_->parentWidget()->font();
    while (font.pointSizeF() > 6 &&
           QFontMetrics(font).horizontalAdvance(shown) > checkProgress_->width() - 6)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    checkProgress_->setFont(font);
    checkProgress_->setFormat(QStringLiteral("%v / %m") + bytes);
    checkProgress_->setRange(0, total);
    checkProgress_->setValue(done);
}

void MainForm::checkFinished(const MailCheckOutcome&) {
    checkProgress_->hide();
    ui_->Text3->show();
    ui_->Command4->setText(kReceiveCaption);
    ui_->Command4->setEnabled(true);
}

void MainForm::updateClock() {
    const QLocale locale;
    const QDateTime now = QDateTime::currentDateTime();
    const QString text = locale.toString(now.date(), QLocale::ShortFormat) + "  " +
                         locale.toString(now.time(), QLocale::ShortFormat);
    // The tick comes 50 times a second; repaint only when the shown text changes.
    if (ui_->Text2->text() != text) ui_->Text2->setText(text);
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->Picture2 && event->type() == QEvent::MouseButtonDblClick) {
        setWideLayout(true);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainForm::keyPressEvent(QKeyEvent* event) {
    // Esc stops a running check, like the button that reads "中止" then.
    if (event->key() == Qt::Key_Escape && checkRunning()) {
        stopCheck();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainForm::closeEvent(QCloseEvent* event) {
    // Off the screen at once; what runs beside the windows ends within a moment.
    hide();
    unload();
    event->accept();
}

void MainForm::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    clock_->stop();
    // A check or send under way ends now: their waits for a server are interrupted (for
    // good, the program ends), the mail under way stays on the server.
    app_.mail().interrupt(MailLibrary::Work::All);
    check_->stopAndWait();
    const SettingsFiles settings = app_.settingsFiles();
    // Each write replaces the whole file or leaves it as it was; stop at the first failure.
    Status saved = settings.writeWindowOption(kShowHelpKey, showHelpChecked() ? 1 : 0);
    if (saved)
        saved = settings.writeWindowOption(kAutoOpenViewerKey, autoOpenViewerChecked() ? 1 : 0);
    if (!saved) {
        app_.dialogs().notice(this, QStringLiteral("画面の設定を保存できませんでした。\n") +
                                        QString::fromStdString(saved.message()));
    }
    stopMailLibrary(app_.mail());
    // The end of the program closes every other window without asking anything.
    app_.unloadAll();
    emit closed();
}

}  // namespace tsubame
