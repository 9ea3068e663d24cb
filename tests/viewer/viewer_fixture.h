#pragma once

#include <gtest/gtest.h>

#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "context/app_context.h"
#include "core/cp932.h"
#include "core/file_io.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_mail_library.h"
#include "support/temp_folder.h"
#include "support/test_app_context.h"
#include "viewer/tyaku_form.h"

namespace tsubame::testing {

// An application folder with its installed folders, the scripted library and dialogs, and
// an application context on them (no main window unless a test makes one).
class AppFolderTest : public ::testing::Test {
  protected:
    AppFolderTest() {
        folder_ = std::filesystem::path(root_.path().toStdString()) / "app";
        std::filesystem::create_directories(folder_ / "★MailData");
        std::filesystem::create_directories(folder_ / "添付フォルダ");
        app_ = std::make_unique<testing::TestAppContext>(AppPaths(folder_), mail_, dialogs_);
    }
    void TearDown() override { clearInjectedFaults(); }  // faults a test injects end with it

    ReceivedMailStore store() const { return app_->receivedStore(); }
    TyakuForm& viewer() { return app_->viewer(); }
    // Opens the viewer and selects row `row` (1-based) the way a click does.
    void openAndSelect(int row) {
        viewer().openViewer();
        QTreeView* list = viewer().mailList();
        list->selectionModel()->select(
            list->model()->index(row - 1, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        viewer().showSelectedMail();
    }
    std::filesystem::path storePath() const { return app_->paths().receivedStore(); }

    // Appends a record from UTF-8 texts, as the mail check would.
    void addRecord(const std::string& subject, const std::string& from, const std::string& date,
                   const std::string& body) {
        ReceivedMailRecord record;
        record.fill(utf8ToCp932(subject), utf8ToCp932(date), utf8ToCp932(from), utf8ToCp932(body));
        ASSERT_TRUE(store().append(record).ok());
    }
    void addNumberedRecords(int count) {
        for (int i = 1; i <= count; ++i)
            addRecord("件名" + std::to_string(i), "from" + std::to_string(i) + "@example.jp",
                      "Mon, " + std::to_string(i) + " Dec 2026 10:00:00 +0900",
                      "本文" + std::to_string(i) + "\r\n二行目");
    }

    // The UTF-8 box form (trimmed) of a stored field of record n.
    std::string storedSubject(int n) const {
        ReceivedMailRecord record;
        if (!store().read(n, record)) return "<missing>";
        return cp932ToUtf8(record.subject());
    }
    std::string storedBody(int n) const {
        ReceivedMailRecord record;
        if (!store().read(n, record)) return "<missing>";
        return cp932ToUtf8(record.body());
    }
    std::uintmax_t storeSize() const {
        std::error_code error;
        auto size = std::filesystem::file_size(storePath(), error);
        return error ? 0 : size;
    }

    QTemporaryDir root_;
    std::filesystem::path folder_;
    ScriptedMailLibrary mail_;
    ScriptedDialogs dialogs_;
    std::unique_ptr<AppContext> app_;
};

}  // namespace tsubame::testing
