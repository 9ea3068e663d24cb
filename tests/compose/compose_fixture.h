#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

#include "addressbook/address_book_fixture.h"
#include "compose/write_form.h"

namespace tsubame::testing {

// The compose window over a fresh application folder.
class ComposeTest : public AddressBookTest {
  protected:
    WriteForm& open() {
        WriteForm& form = app->compose();
        form.show();
        return form;
    }
    WriteForm& form() { return *app->loadedCompose(); }
    template <class T = QWidget>
    T* control(const char* name) {
        return child<T>(form(), name);
    }
    QLineEdit* box(const char* name) { return control<QLineEdit>(name); }
    void click(const char* name) { control<QAbstractButton>(name)->click(); }
    QListWidget* list(const char* name) { return control<QListWidget>(name); }
    QString status() { return control<QLabel>("Label7")->text(); }
    // Closing deletes the window once deferred deletions run.
    bool composeClosed() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return app->loadedCompose() == nullptr;
    }
    void pressListRow(int row) { clickRow(*list("List1"), list("List1")->model()->index(row, 0)); }
};

}  // namespace tsubame::testing
