#pragma once

namespace tsubame {

class AppContext;

struct MailCheckOutcome {
    int count = 0;          // what the check puts into Text6
    bool completed = true;  // false: no connection, login refused, store error
    bool busy = false;      // another writer kept the data folder locked; nothing was done
};

// The mail check behind the main window's receive button. Uses the main window when one is
// registered in app, and the viewer (created hidden when needed) as the staging area.
MailCheckOutcome runMailCheck(AppContext& app);

}  // namespace tsubame
