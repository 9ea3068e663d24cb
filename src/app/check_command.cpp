#include "app/command_line.h"

#include <cstdio>

#include "app/mail_check_operation.h"

namespace tsubame {

int runCheckCommand(AppContext& app) {
    MailCheckOutcome outcome = runMailCheck(app);
    std::printf("%d\n", outcome.count);
    return outcome.completed ? 0 : 1;
}

}  // namespace tsubame
