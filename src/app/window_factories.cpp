#include "app/window_factories.h"

#include "addressbook/friend_form.h"
#include "compose/write_form.h"
#include "context/app_context.h"
#include "reply/back_form.h"
#include "setup/id_pass_form.h"
#include "setup/option_form.h"
#include "setup/set_form.h"
#include "viewer/tyaku_form.h"

namespace tsubame {
namespace {

template <class Form>
void add(AppContext& app, WindowKind kind) {
    app.registerWindow(
        kind, [](AppContext& context) -> QWidget* { return new Form(context); },
        [](QWidget& window) { static_cast<Form&>(window).load(); });
}

}  // namespace

void registerWindows(AppContext& app) {
    add<SetForm>(app, WindowKind::SetForm);
    add<IdPassForm>(app, WindowKind::IdPassForm);
    add<OptionForm>(app, WindowKind::OptionForm);
    add<TyakuForm>(app, WindowKind::Viewer);
    add<WriteForm>(app, WindowKind::Compose);
    add<BackForm>(app, WindowKind::Reply);
    add<FriendForm>(app, WindowKind::AddressBook);
}

}  // namespace tsubame
