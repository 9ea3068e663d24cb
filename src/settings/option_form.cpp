#include "settings/option_form.h"

#include "app/app_context.h"

namespace tsubame {

OptionForm::OptionForm(AppContext& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName("OptionForm");
}

void OptionForm::load() {}

}  // namespace tsubame
