#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace tsubame {

// Where a window of frame size `frame` goes: beside the anchor's frame (right, else left,
// else below, else above), the first place that lies wholly inside `available`; when none
// does, the right-hand place pulled inside `available` (its top-left corner wins when the
// window is larger than the area). Returns the frame's top-left corner.
QPoint placementBeside(const QSize& frame, const QRect& anchorFrame, const QRect& available);

// Places a top-level window that is about to be shown beside the anchor window (the main
// window), inside the anchor's screen's available area; without a visible anchor, in the
// middle of the primary screen's available area. A resizable window larger than the area
// is made to fit.
void placeOnScreen(QWidget& window, const QWidget* anchor);

}  // namespace tsubame
