#include "app/app_context.h"

#include <QWidget>

#include "addressbook/friend_form.h"
#include "compose/write_form.h"
#include "reply/back_form.h"
#include "settings/id_pass_form.h"
#include "settings/option_form.h"
#include "settings/set_form.h"
#include "viewer/tyaku_form.h"

namespace tsubame {

AppContext::AppContext(AppPaths paths, MailLibrary& mail, Dialogs& dialogs)
    : paths_(std::move(paths)), mail_(mail), dialogs_(dialogs) {}

AppContext::~AppContext() { unloadAll(); }

ReceivedMailStore AppContext::receivedStore() const {
    return ReceivedMailStore(paths_.receivedStore(), paths_.receivedTemp());
}

AddressStore AppContext::addressStore() const {
    return AddressStore(paths_.addressStore(), paths_.addressTemp());
}

template <class Form>
Form& AppContext::ensure(QPointer<Form>& slot) {
    if (!slot) {
        auto* form = new Form(*this);
        form->setAttribute(Qt::WA_DeleteOnClose);
        // Assigned before the load step runs, so that the step can reach its own window.
        slot = form;
        form->load();
    }
    return *slot;
}

SetForm& AppContext::setForm() { return ensure(setForm_); }
IdPassForm& AppContext::idPassForm() { return ensure(idPassForm_); }
OptionForm& AppContext::optionForm() { return ensure(optionForm_); }
TyakuForm& AppContext::viewer() { return ensure(viewer_); }
WriteForm& AppContext::compose() { return ensure(compose_); }
BackForm& AppContext::reply() { return ensure(reply_); }
FriendForm& AppContext::addressBook() { return ensure(addressBook_); }

SetForm* AppContext::loadedSetForm() const { return setForm_.data(); }
IdPassForm* AppContext::loadedIdPassForm() const { return idPassForm_.data(); }
OptionForm* AppContext::loadedOptionForm() const { return optionForm_.data(); }
TyakuForm* AppContext::loadedViewer() const { return viewer_.data(); }
WriteForm* AppContext::loadedCompose() const { return compose_.data(); }
BackForm* AppContext::loadedReply() const { return reply_.data(); }
FriendForm* AppContext::loadedAddressBook() const { return addressBook_.data(); }

void AppContext::showWindow(QWidget& window) {
    if (window.isMinimized()) window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}

void AppContext::unloadAll() {
    delete setForm_.data();
    delete idPassForm_.data();
    delete optionForm_.data();
    delete viewer_.data();
    delete compose_.data();
    delete reply_.data();
    delete addressBook_.data();
}

}  // namespace tsubame
