#include "app/mail_check_operation.h"

namespace tsubame {

MailCheckOutcome runMailCheck(AppContext&) { return {0, false}; }

}  // namespace tsubame
