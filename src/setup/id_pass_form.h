#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class IdPassForm;
}

namespace tsubame {

class AppContext;

// The account dialog: the POP3 account name and password, optionally saved in
// "iniIdPass.ini". OK is the default button (Enter); Esc cancels.
class IdPassForm : public QDialog {
    Q_OBJECT
  public:
    explicit IdPassForm(AppContext& app, QWidget* parent = nullptr);
    ~IdPassForm() override;
    // The load step: the saved login into the boxes, the save option unchecked.
    void load();

    // The boxes, as the start-up and the mail check read and write them.
    QString idText() const;
    QString passText() const;
    void setIdText(const QString& text);
    void setPassText(const QString& text);

  private:
    void acceptLogin();

    AppContext& app_;
    std::unique_ptr<Ui::IdPassForm> ui_;
    std::string storedPassword_;  // as the file holds it (code page 932 bytes)
};

}  // namespace tsubame
