#pragma once

#include "app/window_factories.h"
#include "context/app_context.h"

namespace tsubame::testing {

// The program's context with every window registered, as the program starts it.
class TestAppContext : public AppContext {
  public:
    TestAppContext(AppPaths paths, MailLibrary& mail, Dialogs& dialogs)
        : AppContext(std::move(paths), mail, dialogs) {
        registerWindows(*this);
    }
};

}  // namespace tsubame::testing
