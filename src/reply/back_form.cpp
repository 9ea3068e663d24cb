#include "reply/back_form.h"

#include "app/app_context.h"

namespace tsubame {

BackForm::BackForm(AppContext& app, QWidget* parent) : QWidget(parent), app_(app) {
    setObjectName("BackForm");
}

void BackForm::load() {}

}  // namespace tsubame
