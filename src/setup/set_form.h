#pragma once

#include <QWidget>
#include <memory>

namespace Ui {
class SetForm;
}

namespace tsubame {

class AppContext;

// The settings menu: one button for the account dialog, one for the server options dialog.
class SetForm : public QWidget {
    Q_OBJECT
  public:
    explicit SetForm(AppContext& app, QWidget* parent = nullptr);
    ~SetForm() override;
    // The load step; runs once after the window is created.
    void load();

  private:
    AppContext& app_;
    std::unique_ptr<Ui::SetForm> ui_;
};

}  // namespace tsubame
