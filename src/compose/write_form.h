#pragma once

#include <QMainWindow>

namespace tsubame {

class AppContext;

// Placeholder until the window is built.
class WriteForm : public QMainWindow {
    Q_OBJECT
public:
    explicit WriteForm(AppContext& app, QWidget* parent = nullptr);
    // The load step; runs once after the window is created.
    void load();

private:
    AppContext& app_;
};

}  // namespace tsubame
