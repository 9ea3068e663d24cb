#include "settings/id_pass_form.h"

#include "app/app_context.h"

namespace tsubame {

IdPassForm::IdPassForm(AppContext& app, QWidget* parent) : QDialog(parent), app_(app) {
    setObjectName("IdPassForm");
}

void IdPassForm::load() {}

}  // namespace tsubame
