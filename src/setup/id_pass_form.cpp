#include "setup/id_pass_form.h"

#include "context/app_context.h"
#include "core/cp932.h"
#include "ui/fonts.h"
#include "ui_id_pass_form.h"

namespace tsubame {
namespace {

constexpr const char* kNameKey = "NAME";
constexpr const char* kPasswordKey = "NAME2";
constexpr const char* kSavedKey = "NAME3";

}  // namespace

IdPassForm::IdPassForm(AppContext& app, QWidget* parent)
    : QDialog(parent), app_(app), ui_(std::make_unique<Ui::IdPassForm>()) {
    // Before the controls are built, so that they look for no other font.
    setFont(formFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    ui_->setupUi(this);
    setFixedSize(size());
    connect(ui_->OKCommand, &QPushButton::clicked, this, &IdPassForm::acceptLogin);
    connect(ui_->CancelCommand, &QPushButton::clicked, this, &QDialog::reject);
}

IdPassForm::~IdPassForm() = default;

void IdPassForm::load() {
    const SettingsFiles settings = app_.settingsFiles();
    if (Status status = settings.loginFileReadable(); !status) {
        app_.dialogs().notice(this, QString::fromStdString(status.message()) +
                                        QStringLiteral("\n（このファイルは上書きしません）"));
    }
    storedPassword_ = settings.readLoginAsStored(kPasswordKey);
    ui_->IdText->setText(QString::fromStdString(settings.readLogin(kNameKey)));
    ui_->PassText->setText(QString::fromStdString(cp932ToUtf8(storedPassword_)));
    ui_->Check1->setChecked(false);
}

QString IdPassForm::idText() const { return ui_->IdText->text(); }
QString IdPassForm::passText() const { return ui_->PassText->text(); }
void IdPassForm::setIdText(const QString& text) { ui_->IdText->setText(text); }
void IdPassForm::setPassText(const QString& text) { ui_->PassText->setText(text); }

void IdPassForm::acceptLogin() {
    const std::string id = idText().toStdString();
    const std::string password = passText().toStdString();
    app_.account.UserId = id;
    app_.account.Password = password;

    const SettingsFiles settings = app_.settingsFiles();
    Status status;
    if (ui_->Check1->isChecked()) {
        status = settings.writeLogin(kNameKey, id);
        // A password shown as loaded is saved with its bytes as stored, even those the box
        // could not show.
        if (status) {
            status = password == cp932ToUtf8(storedPassword_)
                         ? settings.writeLoginAsStored(kPasswordKey, storedPassword_)
                         : settings.writeLogin(kPasswordKey, password);
        }
        if (status) status = settings.writeLogin(kSavedKey, "1");
    } else {
        // A login saved earlier stays in the file and stays in use.
        status = settings.writeLogin(kSavedKey, "0");
    }
    if (!status) {
        app_.dialogs().notice(this, QStringLiteral("ID・パスワードを保存できませんでした。\n") +
                                        QString::fromStdString(status.message()));
    }
    accept();
}

}  // namespace tsubame
