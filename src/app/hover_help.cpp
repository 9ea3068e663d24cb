#include "app/hover_help.h"

#include <QEvent>
#include <QWidget>

namespace tsubame {

HoverHelp::HoverHelp(Sink sink, QObject* parent) : QObject(parent), sink_(std::move(sink)) {}

void HoverHelp::add(QWidget* control, const QString& text) {
    texts_.insert(control, text);
    control->installEventFilter(this);
    // Without tracking, moves are only reported while a button is held.
    control->setMouseTracking(true);
}

bool HoverHelp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        auto it = texts_.constFind(watched);
        if (it != texts_.constEnd()) sink_(*it);
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tsubame
