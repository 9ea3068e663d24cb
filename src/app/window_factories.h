#pragma once

namespace tsubame {

class AppContext;

// Registers how each single-instance window is created and loaded, so that the context and
// the windows can open one another.
void registerWindows(AppContext& app);

}  // namespace tsubame
