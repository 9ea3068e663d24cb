#include "settings/set_form.h"

#include "app/app_context.h"

namespace tsubame {

SetForm::SetForm(AppContext& app, QWidget* parent) : QWidget(parent), app_(app) {
    setObjectName("SetForm");
}

void SetForm::load() {}

}  // namespace tsubame
