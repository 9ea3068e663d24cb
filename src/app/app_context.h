#pragma once

#include <QObject>
#include <QPointer>
#include <cstdint>

#include "core/app_paths.h"
#include "editor/editor_state.h"
#include "settings/account_settings.h"
#include "settings/settings_files.h"
#include "store/address_store.h"
#include "store/received_mail_record.h"
#include "store/received_mail_store.h"
#include "transport/mail_library.h"
#include "ui/dialogs.h"

namespace tsubame {

class MainForm;
class SetForm;
class IdPassForm;
class OptionForm;
class TyakuForm;
class WriteForm;
class BackForm;
class FriendForm;

// The state the program keeps for its whole run, and the single-instance windows. A window
// is created (and its load step runs) on first use; closing it deletes it, and the next use
// creates it afresh.
class AppContext {
  public:
    AppContext(AppPaths paths, MailLibrary& mail, Dialogs& dialogs);
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    const AppPaths& paths() const { return paths_; }
    SettingsFiles settingsFiles() const { return SettingsFiles(paths_); }
    ReceivedMailStore receivedStore() const;
    AddressStore addressStore() const;
    MailLibrary& mail() { return mail_; }
    Dialogs& dialogs() { return dialogs_; }

    // Shared state.
    AccountSettings account;
    ReceivedMailRecord recordBuffer;
    std::int16_t CurrentRecord = 0;
    EditorState editor;
    int composeCommand16Clicks = 0;  // the compose window's counter lives for the whole run

    // The main window lives for the whole run; it registers itself here.
    MainForm* mainForm() const { return mainForm_; }
    void setMainForm(MainForm* form) { mainForm_ = form; }

    // Each of these creates the window (hidden) when it is not loaded.
    SetForm& setForm();
    IdPassForm& idPassForm();
    OptionForm& optionForm();
    TyakuForm& viewer();
    WriteForm& compose();
    BackForm& reply();
    FriendForm& addressBook();

    // The window when it is loaded, else nullptr.
    SetForm* loadedSetForm() const;
    IdPassForm* loadedIdPassForm() const;
    OptionForm* loadedOptionForm() const;
    TyakuForm* loadedViewer() const;
    WriteForm* loadedCompose() const;
    BackForm* loadedReply() const;
    FriendForm* loadedAddressBook() const;

    // Shows a window modeless and brings it forward.
    static void showWindow(QWidget& window);

    // Deletes every secondary window without asking (the end of the program).
    void unloadAll();

  private:
    template <class Form>
    Form& ensure(QPointer<Form>& slot);

    AppPaths paths_;
    MailLibrary& mail_;
    Dialogs& dialogs_;
    MainForm* mainForm_ = nullptr;
    QPointer<SetForm> setForm_;
    QPointer<IdPassForm> idPassForm_;
    QPointer<OptionForm> optionForm_;
    QPointer<TyakuForm> viewer_;
    QPointer<WriteForm> compose_;
    QPointer<BackForm> reply_;
    QPointer<FriendForm> addressBook_;
};

}  // namespace tsubame
