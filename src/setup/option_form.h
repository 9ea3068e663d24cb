#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class OptionForm;
}

namespace tsubame {

class AppContext;

// The server options dialog: SMTP server, POP3 server, own address and the APOP choice,
// saved in "korumi.ini". It stays above every other window while open.
class OptionForm : public QDialog {
    Q_OBJECT
  public:
    explicit OptionForm(AppContext& app, QWidget* parent = nullptr);
    ~OptionForm() override;
    // The load step: the boxes from the shared account settings.
    void load();

  private:
    void acceptSettings();

    AppContext& app_;
    std::unique_ptr<Ui::OptionForm> ui_;
};

}  // namespace tsubame
