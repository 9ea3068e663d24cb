#pragma once

class QWidget;

namespace tsubame {

// With the environment variable TSUBAME_EXIT_AFTER_SHOW=1 the program quits as soon as window
// has been painted once: the start-up benchmark measures the time to the first shown window.
// Without it, nothing happens.
void quitAfterFirstPaintIfRequested(QWidget& window);

}  // namespace tsubame
