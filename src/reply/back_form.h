#pragma once

#include <QWidget>
#include <memory>

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
    // becomes "Re:" + two blanks + the subject, every field without blanks at its ends.
    void fillReply(const QString& subject, const QString& to, const QString& body);

    // Places the controls for an outer size in twips.
    void layoutForSize(int widthTwips, int heightTwips);

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

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
};

}  // namespace tsubame
