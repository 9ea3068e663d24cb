#pragma once

#include "ui/dialogs.h"

namespace tsubame {

// The real dialogs: Qt's message boxes, file dialogs and print dialog.
class QtDialogs : public Dialogs {
  public:
    BoxAnswer messageBox(QWidget* parent, const QString& text, const QString& title,
                         BoxButtons buttons, BoxIcon icon) override;
    std::optional<QString> openFileName(QWidget* parent, const QString& title,
                                        const QString& filter) override;
    std::optional<QString> saveFileName(QWidget* parent, const QString& title,
                                        const QString& filter) override;
    bool printDialog(QWidget* parent, QPrinter& printer) override;
};

// For runs without windows: every box's text goes to standard error and gets its default
// answer (OK, or No for questions); file and print dialogs are cancelled.
class StderrDialogs : public Dialogs {
  public:
    BoxAnswer messageBox(QWidget* parent, const QString& text, const QString& title,
                         BoxButtons buttons, BoxIcon icon) override;
    std::optional<QString> openFileName(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> saveFileName(QWidget*, const QString&, const QString&) override {
        return std::nullopt;
    }
    bool printDialog(QWidget*, QPrinter&) override { return false; }
    int boxesShown() const { return boxes_; }

  private:
    int boxes_ = 0;
};

}  // namespace tsubame
