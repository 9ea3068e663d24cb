#include "reply/back_form.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QPointer>
#include <QResizeEvent>

#include "compose/attachment_controls.h"
#include "context/app_context.h"
#include "context/background_work.h"
#include "context/tls_choice.h"
#include "core/cp932.h"
#include "editor/plain_text.h"
#include "send/send_passes.h"
#include "ui_back_form.h"

namespace tsubame {
namespace {

constexpr int kTwipsPerPixel = 15;
int toPixels(double twips) { return static_cast<int>(twips / kTwipsPerPixel + 0.5); }

void setLeft(QWidget& w, double twips) { w.move(toPixels(twips), w.y()); }
void setWidth(QWidget& w, double twips) { w.resize(toPixels(twips), w.height()); }

}  // namespace

BackForm::BackForm(AppContext& app, QWidget* parent)
    : QWidget(parent), app_(app), ui_(std::make_unique<Ui::BackForm>()) {
    ui_->setupUi(this);
    setObjectName("BackForm");
    connect(ui_->Command2, &QPushButton::clicked, this, &BackForm::send);
    connect(ui_->Command3, &QPushButton::clicked, this, &QWidget::close);
    connect(ui_->Command4, &QPushButton::clicked, this, &BackForm::pasteInFrontOfBody);
    connect(ui_->AttachCommand, &QPushButton::clicked, this, &BackForm::attachFirst);
    connect(ui_->Command9, &QPushButton::clicked, this, &BackForm::attachMore);
    connect(ui_->Command10, &QPushButton::clicked, this, &BackForm::dropAttachments);
}

BackForm::~BackForm() = default;

void BackForm::load() {
    setWidth(*ui_->AttachText, 2800);
    ui_->List2->hide();
}

void BackForm::fillReply(const QString& subject, const QString& to, const QString& body) {
    ui_->SubjectText->setText(QStringLiteral("Re:  ") + trimBlanks(subject));
    ui_->ToText->setText(trimBlanks(to));
    ui_->BodyText->setPlainText(trimBlanks(body));
    receivedBody_ = std::string(app_.recordBuffer.body());
}

void BackForm::layoutForSize(int widthTwips, int heightTwips) {
    const double w = widthTwips;
    const double h = heightTwips;
    ui_->BodyText->resize(toPixels(w * 0.99), toPixels(h * 0.74));
    setWidth(*ui_->ToText, w * 0.7);
    setWidth(*ui_->SubjectText, w * 0.7);
    const double attachWidth = w * 0.4;
    setWidth(*ui_->AttachText, attachWidth);
    setLeft(*ui_->AttachCommand, attachWidth + 1240);
    setLeft(*ui_->Command9, attachWidth + 2060);
    setLeft(*ui_->Command10, attachWidth + 2940);
}

void BackForm::relayout() {
    QSize outer = frameGeometry().size();
    layoutForSize(outer.width() * kTwipsPerPixel, outer.height() * kTwipsPerPixel);
    // The status bar keeps to the bottom edge.
    QStatusBar* bar = ui_->StatusBar1;
    bar->setGeometry(0, height() - bar->height(), width(), bar->height());
}

void BackForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    relayout();
}

void BackForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    relayout();
    // The window opens for writing: a key pressed at once must not send it.
    if (!event->spontaneous()) ui_->BodyText->setFocus(Qt::OtherFocusReason);
}

// A send on its way finishes first; its result decides whether the window closes.
void BackForm::closeEvent(QCloseEvent* event) {
    if (sending_) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

AttachmentControls BackForm::attachmentControls() const {
    return {*ui_->AttachCommand, *ui_->Command9, *ui_->Command10, *ui_->AttachText, *ui_->List2};
}

void BackForm::attachFirst() { attachmentControls().attachFirst(app_.dialogs(), this); }

void BackForm::attachMore() { attachmentControls().attachAnother(app_.dialogs(), this); }

void BackForm::dropAttachments() { attachmentControls().dropAll(); }

void BackForm::pasteInFrontOfBody() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    const QString received = QString::fromStdString(
        cp932ToUtf8(receivedBody_ ? *receivedBody_ : std::string(app_.recordBuffer.body())));
    // Three line breaks and a lone carriage return, which the box shows as a fourth break.
    const QString built = clipboard->text() + QStringLiteral("\r\n\r\n\r\n\r") + received;
    ui_->BodyText->setPlainText(normalizeLineBreaks(built));
    const QString shown = ui_->BodyText->toPlainText();
    clipboard->clear();
    clipboard->setText(shown);
    ui_->BodyText->setPlainText(trimBlanks(shown));
}

void BackForm::send() {
    if (sending_) return;
    OutgoingMessage message;
    message.server = app_.account.SmtpServer;
    message.from = app_.account.MailAddress;
    message.trustedCertificates = trustedCertificatesOf(app_);
    message.subject = ui_->SubjectText->text().toStdString();
    message.attachments = QFile::encodeName(ui_->AttachText->text()).toStdString();
    const std::string body = toCrLf(ui_->BodyText->toPlainText()).toStdString();
    const std::string to = ui_->ToText->text().toStdString();
    SettingsFiles settings = app_.settingsFiles();
    const std::string storedId = settings.readLoginAsStored("NAME");
    const std::string storedPassword = settings.readLoginAsStored("NAME2");
    const AccountSettings account = app_.account;
    MailLibrary& mail = app_.mail();
    SendCallResult result;
    QPointer<BackForm> self(this);
    // The windows keep answering while the library talks to the server.
    setCursor(Qt::BusyCursor);
    sending_ = true;
    runBesideGui([&] {
        applySmtpLogin(mail, account, storedId, storedPassword);
        result = sendOneMessage(mail, message, to, body);
    });
    if (!self) return;  // closed with the program meanwhile
    sending_ = false;
    unsetCursor();
    // The question tells the failure too; the reply stays open either way.
    if (!result.ok && result.tlsProblem.kind != MailLibrary::TlsProblem::Kind::None) {
        askAboutTlsProblem(app_, this, result.tlsProblem, result.error);
        return;
    }
    if (!result.ok) {
        // The reply stays open with everything the user wrote, so it can be sent again.
        app_.dialogs().notice(this, QString::fromStdString(result.error),
                              QStringLiteral("送信エラー"));
        return;
    }
    close();
}

}  // namespace tsubame
