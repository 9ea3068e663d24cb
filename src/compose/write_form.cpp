#include "compose/write_form.h"

#include "app/app_context.h"

namespace tsubame {

WriteForm::WriteForm(AppContext& app, QWidget* parent) : QMainWindow(parent), app_(app) {
    setObjectName("WriteForm");
}

void WriteForm::load() {}

}  // namespace tsubame
