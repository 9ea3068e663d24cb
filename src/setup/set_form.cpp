#include "setup/set_form.h"

#include "context/app_context.h"
#include "setup/id_pass_form.h"
#include "setup/option_form.h"
#include "ui_set_form.h"

namespace tsubame {

SetForm::SetForm(AppContext& app, QWidget* parent)
    : QWidget(parent), app_(app), ui_(std::make_unique<Ui::SetForm>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    connect(ui_->Command1, &QPushButton::clicked, this,
            [this] { AppContext::showWindow(app_.idPassForm()); });
    connect(ui_->Command2, &QPushButton::clicked, this,
            [this] { AppContext::showWindow(app_.optionForm()); });
}

SetForm::~SetForm() = default;

void SetForm::load() {}

}  // namespace tsubame
