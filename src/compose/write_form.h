#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QLineEdit;
class QProgressBar;
class QTextEdit;
class QToolBar;

namespace Ui {
class WriteForm;
}

namespace tsubame {

class AppContext;
struct RemainingPasses;
struct SendReport;
struct AttachmentControls;

// The compose window ("新規作成"): recipient, subject and body, the address list on the right,
// attachments, the greeting picker, the fortune option, single and to-all sending.
class WriteForm : public QMainWindow {
    Q_OBJECT
  public:
    explicit WriteForm(AppContext& app, QWidget* parent = nullptr);
    ~WriteForm() override;
    // The load step; runs once after the window is created.
    void load();

    // The fields other parts build on (the menus and toolbar, the editing commands).
    QTextEdit* body() const;           // rtfEd; only its plain text is sent
    QLineEdit* recipientBox() const;   // ToText
    QLineEdit* subjectBox() const;     // SubjectText
    QLineEdit* attachmentBox() const;  // AttachText
    QToolBar* toolBar() const;         // tbToolBar, an empty strip along the top
    bool toAllMode() const;            // Option2 selected

    // The handlers, also reachable from tests through the controls.
    void sendMail();               // Command1
    void widenAndReload();         // Command4
    void narrow();                 // Command6
    void pasteIntoBody();          // Command5
    void pasteIntoRecipient();     // Command7
    void resetFields();            // Command11
    void chooseSingleMode();       // Option1
    void chooseToAllMode();        // Option2
    void loadAddressList();        // also run at load
    void insertSelectedAddress();  // a press on List1
    void attachFirstFile();        // AttachCommand
    void attachAnotherFile();      // Command9
    void dropAttachments();        // Command10
    void toggleAttachmentList();   // Command16
    void applyGreeting();          // Combo1 losing the focus

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void connectControls();
    void installHoverHelp();
    void placeHelpBox();
    void fillGreetings();
    void setClientWidth(int twips);
    AttachmentControls attachmentControls() const;
    QString plainBodyWithCrLf() const;
    void finishSuccessfulSend();
    void showSendProgress(int pass, int total);
    QStringList notReached(const RemainingPasses& remaining, const SendReport& report) const;

    AppContext& app_;
    std::unique_ptr<Ui::WriteForm> ui_;
    std::vector<std::int16_t> recordNumbers_;  // parallel to List1: the record of each row
    bool greetingChosen_ = false;              // a phrase was picked and not yet inserted
    bool sending_ = false;                     // a send runs on its own thread
    QProgressBar* sendProgress_ = nullptr;     // "n / N" of a to-all send
    std::set<std::string> delivered_;  // to-all addresses that already got the current message
};

}  // namespace tsubame
