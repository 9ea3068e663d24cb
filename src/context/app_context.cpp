#include "context/app_context.h"

#include <QApplication>
#include <stdexcept>

#include "ui/window_placement.h"

namespace tsubame {
namespace {

// The main window, when one is open (it registers with its context, but this is static).
const QWidget* mainWindowWidget() {
    for (const QWidget* widget : QApplication::topLevelWidgets())
        if (dynamic_cast<const MainWindow*>(widget)) return widget;
    return nullptr;
}

}  // namespace

AppContext::AppContext(AppPaths paths, MailLibrary& mail, Dialogs& dialogs)
    : paths_(std::move(paths)), mail_(mail), dialogs_(dialogs) {}

AppContext::~AppContext() { unloadAll(); }

ReceivedMailStore AppContext::receivedStore() const {
    return ReceivedMailStore(paths_.receivedStore(), paths_.receivedTemp());
}

AddressStore AppContext::addressStore() const {
    return AddressStore(paths_.addressStore(), paths_.addressTemp());
}

void AppContext::registerWindow(WindowKind kind, WindowFactory create, WindowLoader load) {
    Slot& slot = slots_[static_cast<std::size_t>(kind)];
    slot.create = std::move(create);
    slot.load = std::move(load);
}

QWidget& AppContext::window(WindowKind kind) {
    Slot& slot = slots_[static_cast<std::size_t>(kind)];
    if (!slot.window) {
        if (!slot.create) throw std::logic_error("no factory registered for a window kind");
        QWidget* form = slot.create(*this);
        form->setAttribute(Qt::WA_DeleteOnClose);
        // Assigned before the load step runs, so that the step can reach its own window.
        slot.window = form;
        if (slot.load) slot.load(*form);
    }
    return *slot.window;
}

QWidget* AppContext::loadedWindow(WindowKind kind) const {
    return slots_[static_cast<std::size_t>(kind)].window.data();
}

void AppContext::showWindow(QWidget& window) {
    // A window coming up opens beside the main window, wholly on the screen.
    if (!window.isVisible()) placeOnScreen(window, mainWindowWidget());
    if (window.isMinimized()) window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}

void AppContext::unloadAll() {
    for (Slot& slot : slots_) delete slot.window.data();
}

}  // namespace tsubame
