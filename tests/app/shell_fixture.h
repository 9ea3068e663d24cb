#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <memory>

#include "app/main_form.h"
#include "context/app_context.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_mail_library.h"
#include "support/temp_app_folder.h"
#include "support/test_app_context.h"

namespace tsubame::testing {

// A main window over a fresh application folder, with scripted boxes and mail library.
class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        app = std::make_unique<testing::TestAppContext>(folder.paths(), mail, dialogs);
    }
    void TearDown() override {
        form.reset();
        app.reset();
    }

    // Creates the main window and runs its start-up steps.
    MainForm& start() {
        form = std::make_unique<MainForm>(*app);
        form->setUrlOpener([this](const QUrl& url) { openedUrls.push_back(url); });
        form->load();
        return *form;
    }
    // Starts a second run over the same folders, as after a restart.
    MainForm& restart() {
        form.reset();
        app = std::make_unique<testing::TestAppContext>(folder.paths(), mail, dialogs);
        return start();
    }

    template <class T>
    T* child(const char* name) const {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    // Windows closed with WA_DeleteOnClose go away at the next deferred-delete pass.
    static void processDeletes() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static void hover(QWidget* control) {
        QEvent enter(QEvent::Enter);
        QCoreApplication::sendEvent(control, &enter);
    }

    TempAppFolder folder;
    ScriptedDialogs dialogs;
    ScriptedMailLibrary mail;
    std::unique_ptr<AppContext> app;
    std::unique_ptr<MainForm> form;
    std::vector<QUrl> openedUrls;
};

}  // namespace tsubame::testing
