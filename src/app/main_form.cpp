#include "app/main_form.h"

#include "app/app_context.h"
#include "app/mail_check_operation.h"

namespace tsubame {

MainForm::MainForm(AppContext& app, QWidget* parent) : QWidget(parent), app_(app) {
    setObjectName("MainForm");
    app_.setMainForm(this);
}

MainForm::~MainForm() { app_.setMainForm(nullptr); }

void MainForm::load() {}
void MainForm::setWideLayout(bool) {}
void MainForm::setHelpText(const QString&) {}
void MainForm::setStatusText(const QString&) {}
void MainForm::setNewMailCount(const QString&) {}
void MainForm::setStoredMailCount(const QString&) {}
QString MainForm::storedMailCount() const { return {}; }
bool MainForm::showHelpChecked() const { return false; }
bool MainForm::autoOpenViewerChecked() const { return false; }

void MainForm::receiveMail() {
    setWideLayout(false);
    runMailCheck(app_);
}

}  // namespace tsubame
