#pragma once

#include <QWidget>

namespace tsubame {

class AppContext;

// Placeholder until the window is built.
class SetForm : public QWidget {
    Q_OBJECT
public:
    explicit SetForm(AppContext& app, QWidget* parent = nullptr);
    // The load step; runs once after the window is created.
    void load();

private:
    AppContext& app_;
};

}  // namespace tsubame
