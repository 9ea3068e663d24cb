#pragma once

#include <QString>

namespace tsubame {

// What the other windows use of the main window. The main window implements it and registers
// itself with the context, so that no window needs to know the main window's class.
class MainWindow {
  public:
    virtual ~MainWindow() = default;
    virtual void setHelpText(const QString& text) = 0;         // Text1
    virtual void setStoredMailCount(const QString& text) = 0;  // Text4
    virtual bool showHelpChecked() const = 0;                  // Check1 (ShowHelp)

  protected:
    MainWindow() = default;
    MainWindow(const MainWindow&) = default;
    MainWindow& operator=(const MainWindow&) = default;
};

}  // namespace tsubame
