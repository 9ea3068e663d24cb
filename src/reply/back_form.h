#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class BackForm;
}

namespace tsubame {

class AppContext;
struct AttachmentControls;

// The reply window "返事を書く": the viewer fills it with the answer to the selected message;
// the user edits it, may attach files and put the clipboard's text in front of the received
// body, and sends it with one library call.
class BackForm : public QWidget {
    Q_OBJECT
  public:
    explicit BackForm(AppContext& app, QWidget* parent = nullptr);
    ~BackForm() override;
    // The load step; runs once after the window is created.
    void load();

    // Fills the window from a received message's subject, sender and body: the subject
    // becomes "Re:" + two blanks + the subject, every field without blanks at its ends. The
    // record buffer holds that message now; "本文に貼付" keeps to it.
    void fillReply(const QString& subject, const QString& to, const QString& body);

    // Places the controls for an outer size in twips.
    void layoutForSize(int widthTwips, int heightTwips);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void attachFirst();
    void attachMore();
    void dropAttachments();
    void pasteInFrontOfBody();
    void send();
    void relayout();
    AttachmentControls attachmentControls() const;

    AppContext& app_;
    std::unique_ptr<Ui::BackForm> ui_;
    // The body of the message answered (code page 932), taken when the window was filled.
    std::optional<std::string> receivedBody_;
    bool sending_ = false;  // a send runs on its own thread
};

}  // namespace tsubame
