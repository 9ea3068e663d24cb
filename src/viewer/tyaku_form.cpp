#include "viewer/tyaku_form.h"

#include "app/app_context.h"

namespace tsubame {

TyakuForm::TyakuForm(AppContext& app, QWidget* parent) : QMainWindow(parent), app_(app) {
    setObjectName("TyakuForm");
}

void TyakuForm::load() {}

void TyakuForm::openViewer() { AppContext::showWindow(*this); }

}  // namespace tsubame
