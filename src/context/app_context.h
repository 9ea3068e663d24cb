#pragma once

#include <QPointer>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>

#include "context/main_window.h"
#include "context/serialized_mail_library.h"
#include "core/app_paths.h"
#include "editor/editor_state.h"
#include "maillib/mail_library.h"
#include "settings/account_settings.h"
#include "settings/settings_files.h"
#include "store/address_store.h"
#include "store/received_mail_record.h"
#include "store/received_mail_store.h"
#include "ui/dialogs.h"

namespace tsubame {

class SetForm;
class IdPassForm;
class OptionForm;
class TyakuForm;
class WriteForm;
class BackForm;
class FriendForm;

// The single-instance windows. The context knows them by kind only: the program registers a
// factory for each, so that the windows can reach one another without the context (or each
// other) depending on the program's top level.
enum class WindowKind { SetForm, IdPassForm, OptionForm, Viewer, Compose, Reply, AddressBook };
constexpr std::size_t kWindowKindCount = 7;

// The state the program keeps for its whole run, and the single-instance windows. A window
// is created (and its load step runs) on first use; closing it deletes it, and the next use
// creates it afresh.
class AppContext {
  public:
    // Creates the window of one kind (hidden, not yet loaded); its load step runs afterwards.
    using WindowFactory = std::function<QWidget*(AppContext&)>;
    // Runs a window's load step (the window as the factory made it).
    using WindowLoader = std::function<void(QWidget&)>;

    AppContext(AppPaths paths, MailLibrary& mail, Dialogs& dialogs);
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    const AppPaths& paths() const { return paths_; }
    SettingsFiles settingsFiles() const { return SettingsFiles(paths_); }
    ReceivedMailStore receivedStore() const;
    AddressStore addressStore() const;
    // The library is shared by the GUI thread and the check and send threads.
    MailLibrary& mail() { return mail_; }
    Dialogs& dialogs() { return dialogs_; }

    // Shared state.
    AccountSettings account;
    ReceivedMailRecord recordBuffer;
    std::int16_t CurrentRecord = 0;
    EditorState editor;
    int composeCommand16Clicks = 0;  // the compose window's counter lives for the whole run

    // The main window lives for the whole run; it registers itself here.
    MainWindow* mainForm() const { return mainForm_; }
    void setMainForm(MainWindow* form) { mainForm_ = form; }

    void registerWindow(WindowKind kind, WindowFactory create, WindowLoader load);

    // The window of a kind, created (hidden, loaded) when it is not loaded.
    QWidget& window(WindowKind kind);
    // The window when it is loaded, else nullptr.
    QWidget* loadedWindow(WindowKind kind) const;

    // Typed forms of the two above. They are templates so that the context needs no window's
    // declaration: the caller, which uses the window, has it.
    template <class Form = SetForm>
    Form& setForm() {
        return static_cast<Form&>(window(WindowKind::SetForm));
    }
    template <class Form = IdPassForm>
    Form& idPassForm() {
        return static_cast<Form&>(window(WindowKind::IdPassForm));
    }
    template <class Form = OptionForm>
    Form& optionForm() {
        return static_cast<Form&>(window(WindowKind::OptionForm));
    }
    template <class Form = TyakuForm>
    Form& viewer() {
        return static_cast<Form&>(window(WindowKind::Viewer));
    }
    template <class Form = WriteForm>
    Form& compose() {
        return static_cast<Form&>(window(WindowKind::Compose));
    }
    template <class Form = BackForm>
    Form& reply() {
        return static_cast<Form&>(window(WindowKind::Reply));
    }
    template <class Form = FriendForm>
    Form& addressBook() {
        return static_cast<Form&>(window(WindowKind::AddressBook));
    }

    template <class Form = SetForm>
    Form* loadedSetForm() const {
        return static_cast<Form*>(loadedWindow(WindowKind::SetForm));
    }
    template <class Form = IdPassForm>
    Form* loadedIdPassForm() const {
        return static_cast<Form*>(loadedWindow(WindowKind::IdPassForm));
    }
    template <class Form = OptionForm>
    Form* loadedOptionForm() const {
        return static_cast<Form*>(loadedWindow(WindowKind::OptionForm));
    }
    template <class Form = TyakuForm>
    Form* loadedViewer() const {
        return static_cast<Form*>(loadedWindow(WindowKind::Viewer));
    }
    template <class Form = WriteForm>
    Form* loadedCompose() const {
        return static_cast<Form*>(loadedWindow(WindowKind::Compose));
    }
    template <class Form = BackForm>
    Form* loadedReply() const {
        return static_cast<Form*>(loadedWindow(WindowKind::Reply));
    }
    template <class Form = FriendForm>
    Form* loadedAddressBook() const {
        return static_cast<Form*>(loadedWindow(WindowKind::AddressBook));
    }

    // Shows a window modeless and brings it forward.
    static void showWindow(QWidget& window);

    // Deletes every secondary window without asking (the end of the program).
    void unloadAll();

  private:
    struct Slot {
        QPointer<QWidget> window;
        WindowFactory create;
        WindowLoader load;
    };

    AppPaths paths_;
    SerializedMailLibrary mail_;
    Dialogs& dialogs_;
    MainWindow* mainForm_ = nullptr;
    std::array<Slot, kWindowKindCount> slots_;
};

}  // namespace tsubame
