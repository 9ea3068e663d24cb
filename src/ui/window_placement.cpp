#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace tsubame {
namespace {

constexpr int kGap = 8;  // pixels between the anchor and the window
// The window manager's frame of a window never shown: a title bar and thin borders.
constexpr QMargins kUnknownFrame(6, 30, 6, 6);

QMargins frameMargins(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

bool knowsItsFrame(const QWidget& window) {
    return window.testAttribute(Qt::WA_WState_Created) && !frameMargins(window).isNull();
}

int clampInto(int start, int length, int areaStart, int areaLength) {
    if (length >= areaLength) return areaStart;
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

}  // namespace

QPoint placementBeside(const QSize& frame, const QRect& anchorFrame, const QRect& available) {
    const QPoint candidates[] = {
        {anchorFrame.right() + 1 + kGap, anchorFrame.top()},
        {anchorFrame.left() - kGap - frame.width(), anchorFrame.top()},
        {anchorFrame.left(), anchorFrame.bottom() + 1 + kGap},
        {anchorFrame.left(), anchorFrame.top() - kGap - frame.height()},
    };
    for (const QPoint& corner : candidates)
        if (available.contains(QRect(corner, frame))) return corner;
    return {clampInto(candidates[0].x(), frame.width(), available.left(), available.width()),
            clampInto(candidates[0].y(), frame.height(), available.top(), available.height())};
}

void placeOnScreen(QWidget& window, const QWidget* anchor) {
    const bool anchored = anchor && anchor->isVisible();
    const QScreen* screen = anchored ? anchor->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    const QMargins margins = knowsItsFrame(window)                ? frameMargins(window)
                             : anchored && knowsItsFrame(*anchor) ? frameMargins(*anchor)
                                                                  : kUnknownFrame;
    // A window that cannot fit is made to fit, when it may change its size.
    const QSize room = available.size().shrunkBy(margins);
    if (window.minimumSize() != window.maximumSize() &&
        (window.width() > room.width() || window.height() > room.height()))
        window.resize(window.size().boundedTo(room).expandedTo(window.minimumSize()));

    const QSize frame = window.size().grownBy(margins);
    QPoint corner;
    if (anchored) {
        corner = placementBeside(frame, anchor->frameGeometry(), available);
    } else {
        corner = available.center() - QPoint(frame.width() / 2, frame.height() / 2);
        corner = {clampInto(corner.x(), frame.width(), available.left(), available.width()),
                  clampInto(corner.y(), frame.height(), available.top(), available.height())};
    }
    window.move(corner);  // a top-level window's position is its frame's
}

}  // namespace tsubame
