#include "setup/option_form.h"

#include "context/app_context.h"
#include "settings/server_settings.h"
#include "ui_option_form.h"

namespace tsubame {

OptionForm::OptionForm(AppContext& app, QWidget* parent)
    : QDialog(parent), app_(app), ui_(std::make_unique<Ui::OptionForm>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    setWindowFlag(Qt::WindowStaysOnTopHint);
    connect(ui_->OKCommand, &QPushButton::clicked, this, &OptionForm::acceptSettings);
    connect(ui_->CancelCommand, &QPushButton::clicked, this, &QDialog::reject);
}

OptionForm::~OptionForm() = default;

void OptionForm::load() {
    const AccountSettings& account = app_.account;
    ui_->SmtpText->setText(QString::fromStdString(account.SmtpServer));
    ui_->Pop3Text->setText(QString::fromStdString(account.Pop3Server));
    ui_->MailText->setText(QString::fromStdString(account.MailAddress));
    // Any non-zero value (possible only by editing the file by hand) means APOP.
    ui_->ApopCheck->setChecked(account.UseApop != 0);
}

void OptionForm::acceptSettings() {
    AccountSettings& account = app_.account;
    account.SmtpServer = ui_->SmtpText->text().toStdString();
    account.Pop3Server = ui_->Pop3Text->text().toStdString();
    account.MailAddress = ui_->MailText->text().toStdString();
    account.UseApop = ui_->ApopCheck->isChecked() ? 1 : 0;
    if (Status status = saveServerSettings(app_.paths().serverSettingsFile(), account); !status) {
        app_.dialogs().notice(this, QStringLiteral("サーバー設定を保存できませんでした。\n") +
                                        QString::fromStdString(status.message()));
    }
    accept();
}

}  // namespace tsubame
