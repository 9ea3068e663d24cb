#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTreeView>
#include <filesystem>
#include <memory>

#include "context/app_context.h"
#include "core/cp932.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_mail_library.h"
#include "support/temp_folder.h"
#include "support/test_app_context.h"

namespace tsubame::testing {

// A fresh application folder (with its data folder) and an application context over the
// scripted mail library and dialogs.
class AddressBookTest : public ::testing::Test {
  protected:
    AddressBookTest() {
        std::filesystem::create_directory(folder.path() / "★MailData");
        app = std::make_unique<testing::TestAppContext>(AppPaths(folder.path()), mail, dialogs);
    }
    ~AddressBookTest() override {
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void addEntry(const std::string& name, const std::string& address) {
        ASSERT_TRUE(
            app->addressStore().append(AddressRecord(utf8ToCp932(name), utf8ToCp932(address))));
    }
    std::vector<std::string> storedAddresses() const {
        std::vector<std::string> addresses;
        for (const AddressRecord& entry : app->addressStore().readAll()) {
            addresses.push_back(cp932ToUtf8(trimBlanks(entry.addressField())));
        }
        return addresses;
    }

    template <class T>
    static T* child(QWidget& window, const char* name) {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // A left-button press and release in the middle of a row, as the user clicks it.
    static void clickRow(QAbstractItemView& view, const QModelIndex& index) {
        QPoint point = view.visualRect(index).center();
        QPointF global = view.viewport()->mapToGlobal(QPointF(point));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(point), global, Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(point), global, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &release);
    }

    TempFolder folder;
    ScriptedMailLibrary mail;
    ScriptedDialogs dialogs;
    std::unique_ptr<AppContext> app;
};

}  // namespace tsubame::testing
