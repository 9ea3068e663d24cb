#pragma once

#include <QDialog>

namespace tsubame {

class AppContext;

// Placeholder until the window is built.
class IdPassForm : public QDialog {
    Q_OBJECT
public:
    explicit IdPassForm(AppContext& app, QWidget* parent = nullptr);
    // The load step; runs once after the window is created.
    void load();

private:
    AppContext& app_;
};

}  // namespace tsubame
