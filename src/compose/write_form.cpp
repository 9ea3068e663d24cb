#include "compose/write_form.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QShowEvent>
#include <QTextCursor>

#include "addressbook/hover_help_option.h"
#include "compose/attachment_controls.h"
#include "compose/compose_texts.h"
#include "compose/write_commands.h"
#include "context/app_context.h"
#include "context/background_work.h"
#include "context/tls_choice.h"
#include "core/cp932.h"
#include "core/fixed_field.h"
#include "editor/plain_text.h"
#include "send/send_passes.h"
#include "ui_write_form.h"

namespace tsubame {
namespace {

constexpr int kClientWidth = 9510;        // twips; also the wide width (window 9700 with its frame)
constexpr int kNarrowClientWidth = 6910;  // window 7100 with its frame: the list lies outside
constexpr int kClientHeight = 7650;
constexpr int kHelpTopShown = 3600;
constexpr int kHelpTopHidden = -4000;
constexpr int kInsertedAddressMax = 60;

const QColor kWhite(255, 255, 255);
const QColor kGreen(0, 128, 0);
const QColor kLightBlue(213, 239, 255);

const QString kSending = QStringLiteral("メールを送信中です。しばらくお待ち下さい。");
const QString kSent = QStringLiteral("送信完了です。");
const QString kSendErrorTitle = QStringLiteral("送信エラー");
const QString kNotSent = QStringLiteral("送信できませんでした。内容はそのまま残っています。");
const QString kSomeNotSent = QStringLiteral("送信できなかった宛先があります。");
const QString kFailedRecipients = QStringLiteral("次の宛先には送信できませんでした。");
const QString kNoRecipients = QStringLiteral("送信先がありません。内容はそのまま残っています。");
const QString kOnlyTheRest = QStringLiteral(
    "前回送信できた %1 件の宛先には送らず、まだ届いていない %2 件の宛先にだけ送信します。");
const QString kNotInAddressBook = QStringLiteral("%1（アドレス帳に見つかりません）");
const QString kNothingSelected = QStringLiteral("データが選択されていません");

void setBackground(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, color);
    widget->setPalette(palette);
}

QString fieldText(std::string_view field) {
    return QString::fromStdString(cp932ToUtf8(fixedFieldCell({field.data(), field.size()})));
}

}  // namespace

WriteForm::WriteForm(AppContext& app, QWidget* parent)
    : QMainWindow(parent), app_(app), ui_(std::make_unique<Ui::WriteForm>()) {
    ui_->setupUi(this);
    setObjectName("WriteForm");
    QFont bodyFont;
    bodyFont.setFamilies({QStringLiteral("ＭＳ ゴシック"), QStringLiteral("MS Gothic"),
                          QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("monospace")});
    bodyFont.setPointSizeF(11.25);
    bodyFont.setWeight(QFont::Normal);
    ui_->rtfEd->setFont(bodyFont);
    ui_->Text14->hide();
    ui_->List2->hide();
    ui_->Text14->raise();
    connectControls();
    installHoverHelp();
    new WriteCommands(app_, *this);  // menus, toolbar and print

    // "n / N" of a to-all send, at the right end of the status strip, past the status text.
    sendProgress_ = new QProgressBar(ui_->Picture3);
    sendProgress_->setObjectName("SendProgress");
    const QRect status = ui_->Label7->geometry();
    sendProgress_->setGeometry(status.right() - 130, status.top(), 130, status.height());
    sendProgress_->setFormat(QStringLiteral("%v / %m"));
    sendProgress_->setAlignment(Qt::AlignCenter);
    sendProgress_->setStyleSheet(QStringLiteral(
        "QProgressBar { background-color: #ffffff; color: #000000; border: 1px solid #808080; }"
        "QProgressBar::chunk { background-color: #80c080; }"));
    sendProgress_->hide();
    // Sized after the menus exist: an empty menu bar is lower, and the client area would
    // lose the status line and the bottom of the mode frame.
    setClientWidth(kClientWidth);
}

WriteForm::~WriteForm() = default;

QTextEdit* WriteForm::body() const { return ui_->rtfEd; }
QLineEdit* WriteForm::recipientBox() const { return ui_->ToText; }
QLineEdit* WriteForm::subjectBox() const { return ui_->SubjectText; }
QLineEdit* WriteForm::attachmentBox() const { return ui_->AttachText; }
QToolBar* WriteForm::toolBar() const { return ui_->tbToolBar; }
bool WriteForm::toAllMode() const { return ui_->Option2->isChecked(); }

void WriteForm::connectControls() {
    connect(ui_->Command1, &QPushButton::clicked, this, &WriteForm::sendMail);
    connect(ui_->Command3, &QPushButton::clicked, this, &QWidget::close);
    connect(ui_->Command4, &QPushButton::clicked, this, &WriteForm::widenAndReload);
    connect(ui_->Command6, &QPushButton::clicked, this, &WriteForm::narrow);
    connect(ui_->Command5, &QPushButton::clicked, this, &WriteForm::pasteIntoBody);
    connect(ui_->Command7, &QPushButton::clicked, this, &WriteForm::pasteIntoRecipient);
    connect(ui_->Command11, &QPushButton::clicked, this, &WriteForm::resetFields);
    connect(ui_->Option1, &QRadioButton::clicked, this, &WriteForm::chooseSingleMode);
    connect(ui_->Option2, &QRadioButton::clicked, this, &WriteForm::chooseToAllMode);
    connect(ui_->AttachCommand, &QPushButton::clicked, this, &WriteForm::attachFirstFile);
    connect(ui_->Command9, &QPushButton::clicked, this, &WriteForm::attachAnotherFile);
    connect(ui_->Command10, &QPushButton::clicked, this, &WriteForm::dropAttachments);
    connect(ui_->Command16, &QPushButton::clicked, this, &WriteForm::toggleAttachmentList);
    // pressed() comes after the list has selected the row under the pointer; a press on
    // empty list space is caught by the event filter.
    connect(ui_->List1, &QAbstractItemView::pressed, this, &WriteForm::insertSelectedAddress);
    ui_->List1->viewport()->installEventFilter(this);
    ui_->Combo1->installEventFilter(this);
}

void WriteForm::load() {
    setBackground(ui_->List1, kWhite);
    setBackground(ui_->ToText, kWhite);
    ui_->ToText->setEnabled(true);
    ui_->List1->setEnabled(true);
    ui_->List2->hide();
    recordNumbers_.clear();
    fillGreetings();
    ui_->Option2->setVisible(true);
    placeHelpBox();
    loadAddressList();
}

void WriteForm::fillGreetings() {
    for (const QString& phrase : compose_texts::kGreetings) ui_->Combo1->addItem(phrase);
    ui_->Combo1->setCurrentIndex(-1);
    ui_->Combo1->setEditText({});
    connect(ui_->Combo1, &QComboBox::currentTextChanged, this, [this] { greetingChosen_ = true; });
}

void WriteForm::placeHelpBox() {
    int top = hoverHelpWanted(app_) ? kHelpTopShown : kHelpTopHidden;
    ui_->Text14->move(ui_->Text14->x(), twipsToPixels(top));
}

void WriteForm::setClientWidth(int twips) {
    int menu = menuBar()->sizeHint().height();
    resize(twipsToPixels(twips), twipsToPixels(kClientHeight) + menu);
}

// The chosen phrase goes in front of the body, once per choice; an empty combo text
// leaves the body alone.
void WriteForm::applyGreeting() {
    const QString phrase = ui_->Combo1->currentText();
    if (!greetingChosen_ || phrase.isEmpty()) return;
    greetingChosen_ = false;
    QTextCursor cursor(ui_->rtfEd->document());
    cursor.movePosition(QTextCursor::Start);
    const bool bodyEmpty = ui_->rtfEd->document()->isEmpty();
    cursor.insertText(bodyEmpty ? phrase : phrase + QLatin1Char('\n'));
}

void WriteForm::chooseSingleMode() {
    ui_->Option1->setChecked(true);
    ui_->Option2->setChecked(false);
    ui_->ToText->clear();
    setBackground(ui_->List1, kWhite);
    ui_->ToText->setEnabled(true);
    setBackground(ui_->ToText, kWhite);
}

void WriteForm::chooseToAllMode() {
    ui_->Option2->setChecked(true);
    ui_->Option1->setChecked(false);
    ui_->ToText->clear();
    ui_->ToText->setEnabled(false);
    setBackground(ui_->ToText, kLightBlue);
    setBackground(ui_->List1, kGreen);
    if (app_.dialogs().confirm(this, compose_texts::kToAllQuestion)) return;
    setBackground(ui_->List1, kWhite);
    setBackground(ui_->ToText, kWhite);
    ui_->Option2->setChecked(false);
}

void WriteForm::pasteIntoBody() {
    ui_->rtfEd->textCursor().insertText(trimBlanks(QApplication::clipboard()->text()));
}

void WriteForm::pasteIntoRecipient() {
    ui_->ToText->insert(trimBlanks(QApplication::clipboard()->text()));
}

void WriteForm::resetFields() {
    delivered_.clear();
    ui_->ToText->clear();
    ui_->SubjectText->clear();
    ui_->rtfEd->clear();
    ui_->Option2->setChecked(false);
    dropAttachments();
    ui_->Check1->setChecked(false);
    setBackground(ui_->List1, kWhite);
    setBackground(ui_->ToText, kWhite);
}

void WriteForm::loadAddressList() {
    ui_->List1->clear();
    recordNumbers_.clear();
    std::int16_t number = 0;
    for (const AddressRecord& entry : app_.addressStore().readAll()) {
        if (number == INT16_MAX) break;  // record numbers are 16-bit
        ui_->List1->addItem(fieldText(entry.nameField()));
        recordNumbers_.push_back(++number);
    }
    ui_->Text1->setText(QString::number(ui_->List1->count()));
}

void WriteForm::widenAndReload() {
    ui_->List1->clear();
    setBackground(ui_->List1, kWhite);
    setClientWidth(kClientWidth);
    loadAddressList();
}

void WriteForm::narrow() {
    setClientWidth(kNarrowClientWidth);
    setBackground(ui_->List1, kWhite);
}

void WriteForm::insertSelectedAddress() {
    const QList<QListWidgetItem*> selected = ui_->List1->selectedItems();
    if (selected.isEmpty()) {
        app_.dialogs().messageBox(this, kNothingSelected, {}, BoxButtons::Ok, BoxIcon::Exclamation);
        ui_->List1->setFocus();
        return;
    }
    const int row = ui_->List1->row(selected.first());
    if (row < 0 || static_cast<std::size_t>(row) >= recordNumbers_.size()) return;
    std::optional<AddressRecord> entry =
        app_.addressStore().read(recordNumbers_[static_cast<std::size_t>(row)]);
    // The book shrank since the list was loaded: keep the recipient rather than guess.
    if (!entry) return;
    const QString address = fieldText(entry->addressField());
    ui_->ToText->setText(trimBlanks(address.left(kInsertedAddressMax)));
}

AttachmentControls WriteForm::attachmentControls() const {
    return {*ui_->AttachCommand, *ui_->Command9, *ui_->Command10, *ui_->AttachText, *ui_->List2};
}

void WriteForm::attachFirstFile() { attachmentControls().attachFirst(app_.dialogs(), this); }

void WriteForm::attachAnotherFile() { attachmentControls().attachAnother(app_.dialogs(), this); }

void WriteForm::dropAttachments() { attachmentControls().dropAll(); }

// The click count lives for the whole run, so the first click of a run hides the list.
void WriteForm::toggleAttachmentList() {
    int& clicks = app_.composeCommand16Clicks;
    if (clicks % 2 == 0) {
        ui_->Command16->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 0);"));
        ui_->Command16->setText(QStringLiteral("非表示"));
        ui_->List2->hide();
    } else {
        ui_->Command16->setStyleSheet(QStringLiteral("background-color: rgb(192, 192, 192);"));
        ui_->Command16->setText(QStringLiteral("表示"));
        ui_->List2->show();
        ui_->List2->raise();
    }
    clicks = (clicks + 1) % 32768;  // a 16-bit count; wrapping keeps its parity
}

QString WriteForm::plainBodyWithCrLf() const {
    QString text = ui_->rtfEd->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

// A send that fails for any recipient leaves the message in the window so that nothing is
// lost; only a send in which every pass got through clears and closes it. In to-all mode the
// addresses that got the message are remembered, and a second press sends only to the rest.
void WriteForm::sendMail() {
    if (sending_) return;
    const QString recipientBefore = ui_->ToText->text();
    const bool listWasVisible = ui_->List2->isVisible();
    const bool addWasEnabled = ui_->Command9->isEnabled();
    const bool attachWasEnabled = ui_->AttachCommand->isEnabled();

    const bool toAll = toAllMode();
    RemainingPasses remaining;
    if (toAll) {
        remaining = remainingPasses(
            toAllRecipients(ui_->List1->count(), app_.addressStore().readAll()), delivered_);
    } else {
        remaining.passes.push_back(PassRecipient{recipientBefore.toStdString(), {}});
    }
    if (remaining.alreadySent > 0) {
        app_.dialogs().notice(this,
                              kOnlyTheRest.arg(remaining.alreadySent).arg(remaining.passes.size()));
    }

    ui_->Command9->setEnabled(false);
    ui_->List2->hide();
    ui_->AttachCommand->setEnabled(true);
    ui_->Label7->setText(kSending);

    OutgoingMessage message;
    message.server = app_.account.SmtpServer;
    message.from = app_.account.MailAddress;
    message.subject = ui_->SubjectText->text().toStdString();
    message.body = plainBodyWithCrLf().toStdString();
    message.attachments = QFile::encodeName(ui_->AttachText->text()).toStdString();
    message.fortune = ui_->Check1->isChecked();
    message.trustedCertificates = trustedCertificatesOf(app_);

    // The passes run on a thread of their own; what they show is done on the GUI thread
    // before the pass goes on. The window may be gone by then (the end of the program).
    QPointer<WriteForm> self(this);
    const int passCount = static_cast<int>(remaining.passes.size());
    SendHooks hooks;
    hooks.passStarting = [self, toAll, passCount](int pass, const PassRecipient& recipient) {
        callOnGui([&] {
            if (!self) return;
            if (toAll) self->ui_->ToText->setText(QString::fromStdString(recipient.shown));
            self->ui_->Label7->setText(kSending);
            if (toAll) self->showSendProgress(pass, passCount);
        });
    };
    hooks.passFailed = [self, this](int, const std::string&, const std::string& error) {
        callOnGui([&] {
            if (!self) return;
            app_.dialogs().messageBox(self, QString::fromStdString(error), kSendErrorTitle,
                                      BoxButtons::Ok, BoxIcon::None);
        });
    };

    setCursor(Qt::BusyCursor);
    SettingsFiles settings = app_.settingsFiles();
    const std::string storedId = settings.readLoginAsStored("NAME");
    const std::string storedPassword = settings.readLoginAsStored("NAME2");
    const AccountSettings account = app_.account;
    MailLibrary& mail = app_.mail();
    SendReport report;
    sending_ = true;
    runBesideGui([&] {
        applySmtpLogin(mail, account, storedId, storedPassword);
        report = runSendPasses(mail, message, remaining.passes, hooks);
    });
    if (!self) return;
    sending_ = false;
    sendProgress_->hide();
    unsetCursor();
    if (toAll) delivered_.insert(report.sentAddresses.begin(), report.sentAddresses.end());
    askAboutTlsProblem(app_, this, report.tlsProblem, report.tlsProblemText);

    // Nothing to send reaches nobody, and the message stays; unless every entry got it already.
    if (report.allSent() && (!remaining.passes.empty() || remaining.alreadySent > 0)) {
        finishSuccessfulSend();
        return;
    }
    ui_->ToText->setText(recipientBefore);
    ui_->List2->setVisible(listWasVisible);
    ui_->Command9->setEnabled(addWasEnabled);
    ui_->AttachCommand->setEnabled(attachWasEnabled);
    if (remaining.passes.empty()) {
        ui_->Label7->setText(kNoRecipients);
        return;
    }
    if (!toAll) {
        ui_->Label7->setText(kNotSent);
        return;
    }
    ui_->Label7->setText(delivered_.empty() ? kNotSent : kSomeNotSent);
    app_.dialogs().messageBox(
        this, kFailedRecipients + QLatin1Char('\n') + notReached(remaining, report).join('\n'),
        kSendErrorTitle, BoxButtons::Ok, BoxIcon::Exclamation);
}

// Who did not get the message: the address of a failed pass, the list name of a skipped one.
QStringList WriteForm::notReached(const RemainingPasses& remaining,
                                  const SendReport& report) const {
    QStringList names;
    for (int pass : report.unsentPasses) {
        const std::size_t index = static_cast<std::size_t>(pass - 1);
        const auto& recipient = remaining.passes[index];
        if (recipient) {
            names << QString::fromStdString(recipient->address);
            continue;
        }
        const QListWidgetItem* row = ui_->List1->item(remaining.rows[index]);
        names << kNotInAddressBook.arg(row ? row->text().trimmed() : QString::number(pass));
    }
    return names;
}

void WriteForm::showSendProgress(int pass, int total) {
    sendProgress_->setRange(0, total);
    sendProgress_->setValue(pass);
    sendProgress_->show();
    sendProgress_->raise();
}

// A send on its way finishes first; its result decides whether the window closes.
void WriteForm::closeEvent(QCloseEvent* event) {
    if (sending_) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void WriteForm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // The window opens for writing: a key pressed at once must not send it.
    if (!event->spontaneous()) ui_->rtfEd->setFocus(Qt::OtherFocusReason);
}

void WriteForm::finishSuccessfulSend() {
    delivered_.clear();
    ui_->Label7->setText(kSent);
    ui_->ToText->clear();
    ui_->SubjectText->clear();
    ui_->rtfEd->clear();
    ui_->Check1->setChecked(false);
    ui_->AttachText->clear();
    ui_->Option2->setChecked(false);
    close();
}

void WriteForm::installHoverHelp() {
    for (const auto& [name, text] : compose_texts::kHoverHelp) {
        const QString controlName = QString::fromLatin1(name);
        QList<QWidget*> targets;
        if (controlName == QLatin1String("Label2")) {
            targets = {ui_->Label2_0, ui_->Label2_1, ui_->Label2_2, ui_->Label2_3};
        } else if (auto* control = findChild<QWidget*>(controlName)) {
            targets = {control};
        }
        for (QWidget* target : targets) {
            target->setProperty("hoverHelp", text);
            target->installEventFilter(this);
        }
    }
    // Moving over the button frame, the body or the status strip hides the help box.
    for (QWidget* area : {static_cast<QWidget*>(ui_->Frame1), ui_->rtfEd->viewport(),
                          static_cast<QWidget*>(ui_->Picture3)}) {
        area->setMouseTracking(true);
        area->installEventFilter(this);
    }
}

bool WriteForm::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::FocusOut:
            if (watched == ui_->Combo1 &&
                static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
                applyGreeting();
            }
            break;
        case QEvent::MouseButtonPress:
            if (watched == ui_->List1->viewport()) {
                auto* press = static_cast<QMouseEvent*>(event);
                // A press on a row is handled by pressed(); one on empty space here.
                if (!ui_->List1->indexAt(press->position().toPoint()).isValid()) {
                    insertSelectedAddress();
                }
            }
            break;
        case QEvent::Enter:
            if (watched->property("hoverHelp").isValid()) {
                ui_->Text14->setPlainText(watched->property("hoverHelp").toString());
                ui_->Text14->show();
                ui_->Text14->raise();
            }
            break;
        case QEvent::MouseMove: {
            auto* area = qobject_cast<QWidget*>(watched);
            auto* move = static_cast<QMouseEvent*>(event);
            if (area && !watched->property("hoverHelp").isValid() &&
                area->childAt(move->position().toPoint()) == nullptr) {
                ui_->Text14->hide();
            }
            break;
        }
        default:
            break;
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace tsubame
