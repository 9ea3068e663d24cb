#include "addressbook/friend_form.h"

#include "app/app_context.h"

namespace tsubame {

FriendForm::FriendForm(AppContext& app, QWidget* parent) : QWidget(parent), app_(app) {
    setObjectName("FriendForm");
}

void FriendForm::load() {}

}  // namespace tsubame
