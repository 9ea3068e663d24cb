#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "core/status.h"

class QStandardItemModel;

namespace Ui {
class FriendForm;
}

namespace tsubame {

class AppContext;

// The address book window ("アドレス帳"): lists, registers and removes address book entries
// and builds the name-card form of an address.
class FriendForm : public QWidget {
    Q_OBJECT
  public:
    explicit FriendForm(AppContext& app, QWidget* parent = nullptr);
    ~FriendForm() override;
    // The load step; runs once after the window is created.
    void load();

    // What other windows fill in (the viewer's "register the sender").
    void setAddressText(const QString& text);  // Text4

    // The handlers, also reachable from tests through the buttons.
    void refreshList();          // Command2
    void pasteAddress();         // Command1
    void pasteName();            // Command5
    void registerEntry();        // Command3
    void selectPressedRow();     // a press on MailListView
    void insertNameCard();       // Command38
    void removeSelectedEntry();  // Command4

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void placeHelpBox();
    void addListColumns();
    void installHoverHelp();
    // The 1-based record number of the selected row, 0 when no row is selected.
    int selectedRecordNumber() const;
    void showStoreError(const std::string& message);
    // Runs one write of the address book beside the GUI thread, under the book's lock.
    Status writeUnderBookLock(const std::function<Status()>& write);

    AppContext& app_;
    std::unique_ptr<Ui::FriendForm> ui_;
    QStandardItemModel* model_;
    bool writing_ = false;  // a write of the book runs or waits for its lock
};

}  // namespace tsubame
