#pragma once

#include <QMainWindow>

namespace tsubame {

class AppContext;

// Placeholder until the window is built.
class TyakuForm : public QMainWindow {
    Q_OBJECT
public:
    explicit TyakuForm(AppContext& app, QWidget* parent = nullptr);
    // The load step; runs once after the window is created.
    void load();

    // Fills the list from the store and shows the window (the main window's "メールを見る").
    void openViewer();

private:
    AppContext& app_;
};

}  // namespace tsubame
