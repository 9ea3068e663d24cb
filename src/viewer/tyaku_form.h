#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>

#include "store/received_mail_heads.h"
#include "viewer/quick_save.h"

class QLineEdit;
class QTextEdit;
class QTreeView;

namespace Ui {
class TyakuForm;
}

namespace tsubame {

class AppContext;
class MailListModel;
class ReceivedMailStore;
class Status;
struct ReceivedMailRecord;

// The received-mail viewer: the list of stored mails, the Subject/From/Date boxes, the
// reader, the count box and the selection flag. Row k of the list is record k of the store.
// The mail check also uses the boxes and the reader (hidden window) to stage each mail.
//
// Line breaks in the reader are "\n"; stored bodies use CR LF.
class TyakuForm : public QMainWindow {
    Q_OBJECT
  public:
    explicit TyakuForm(AppContext& app, QWidget* parent = nullptr);
    ~TyakuForm() override;

    // The creation steps: help box, list columns, reader position and document.
    void load();

    // Fills the list from the store and shows the window (the main window's "メールを見る").
    void openViewer();
    // The list fill without showing: rows, boxes and reader at the last record, count.
    // Fills the list from the store, or from heads when the caller has just read them.
    void fillList(std::optional<ReceivedMailHeads> heads = {});
    // Fills the list again when the store no longer holds what it shows (after a check, or
    // when another process changed the store). When mail was only added, the new rows are
    // added and the mail shown stays.
    void refreshList();
    // The list's click: shows the selected record. A move by key leaves the clipboard alone
    // (viaClipboard false): browsing must not replace what the user copied.
    void showSelectedMail(bool viaClipboard = true);
    // Command3 "一件削除" and Command6 "全件削除".
    void deleteSelectedMail();
    void deleteAllMail();
    // The mail check's staging: the boxes and the reader take one fetched mail.
    void stageMail(const QString& subject, const QString& from, const QString& date,
                   const QString& body);

    // Controls, by role.
    QLineEdit* subjectBox() const;  // Text7
    QLineEdit* fromBox() const;     // Text8
    QLineEdit* dateBox() const;     // Text9
    QTextEdit* reader() const;      // rtfEd
    QTreeView* mailList() const;    // MailListView
    QLineEdit* countBox() const;    // Text2
    QTextEdit* helpBox() const;     // Text4
    MailListModel& listModel() const { return *model_; }

    // The selection flag Text5: "1" after a click in the list, "" after a command used it.
    QString selectionFlag() const;
    void setSelectionFlag(const QString& flag);
    // For the commands that act on the selected mail: false (after the message
    // "データが選択されていません") when the flag is empty or no existing row is selected.
    bool requireSelection();
    // For reply, quick save and registration, which act on the mail in the boxes and the
    // reader whether or not its row is still selected, once it was chosen in the list: false
    // (after the same message) when the flag is empty or no mail is shown.
    bool requireChosenMail();
    bool mailShown() const { return mailShown_; }
    // The selected row's number, which is its record number; 0 when no row is selected.
    int selectedRecord() const;
    int listRowCount() const;

    // The shown mail's kept original, named in the attachment folder (empty when the check
    // kept none for its record).
    const std::string& keptOriginalFile() const { return keptOriginalFile_; }
    // What the saves write of the shown mail: they act on the record, so a text still shown
    // as the kept original has it comes back as the record holds it.
    ShownMessage asRecordHolds(ShownMessage shown) const;

    // Clears the clipboard, puts the reader's text on it, reads it back and shows it trimmed
    // of blanks at both ends (the reader then ends at its first NUL character).
    void passReaderThroughClipboard();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void placeHelpBox();
    void addListColumns();
    void loadDocument();
    // Reads the store into the list; the last record goes into the record buffer and is
    // shown (nothing is shown when the store is empty). Returns the number of rows.
    int reloadRows(std::optional<ReceivedMailHeads> read = {});
    // The boxes show the record's fields trimmed, the reader its body passed through the
    // clipboard (see passReaderThroughClipboard).
    void showRecord(const ReceivedMailRecord& record, bool viaClipboard = true);
    void clearBoxesAndReader();
    void setCount(int rows);
    void rebuildAfterDeletion();
    void showStoreError(const std::string& message);
    // Runs one change of the store under the data folder's lock, which is gone again before
    // any message shows. A writer that keeps the lock makes it fail without a change.
    Status underDataFolderLock(const std::function<Status(const ReceivedMailStore&)>& write);

    AppContext& app_;
    std::unique_ptr<Ui::TyakuForm> ui_;
    MailListModel* model_;
    bool mailShown_ = false;
    // The shown mail when its kept original's texts stand in for the record's: both forms.
    std::string keptOriginalFile_;
    std::optional<std::pair<ShownMessage, ShownMessage>> shownAndRecord_;
    bool writing_ = false;  // a deletion waits for the lock or compacts beside the GUI thread
};

// The least width of the list's Date column: a whole date in the list's font.
int dateColumnWidth(const QTreeView& list);

// The leading number of a text, 0 for an empty or non-numeric text (how the count is read).
long leadingNumber(const QString& text);

}  // namespace tsubame
