// Both list windows paint their column headers with the program's painter.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QTreeView>

#include "addressbook/friend_form.h"
#include "context/app_context.h"
#include "support/scripted_dialogs.h"
#include "support/scripted_mail_library.h"
#include "support/temp_folder.h"
#include "support/test_app_context.h"
#include "ui/header_painter.h"
#include "viewer/tyaku_form.h"

namespace tsubame {
namespace {

class HeaderPainterWindowsTest : public ::testing::Test {
  protected:
    HeaderPainterWindowsTest() : app(AppPaths(folder.path()), mail, dialogs) {
        std::filesystem::create_directory(folder.path() / "★MailData");
    }
    static void expectPainted(QTreeView& list) {
        QHeaderView& header = *list.header();
        ASSERT_NE(qobject_cast<HeaderPainter*>(header.style()), nullptr);
        QImage image = header.grab().toImage();
        ASSERT_GT(header.count(), 0);
        const int middle = header.sectionViewportPosition(0) + header.sectionSize(0) - 8;
        EXPECT_EQ(image.pixel(middle, header.height() - 3), HeaderPainter::kFill);
        EXPECT_EQ(image.pixel(middle, 0), HeaderPainter::kRaisedLight);
    }

    testing::TempFolder folder;
    testing::ScriptedMailLibrary mail;
    testing::ScriptedDialogs dialogs;
    testing::TestAppContext app;
};

TEST_F(HeaderPainterWindowsTest, TheViewersList) {
    TyakuForm& viewer = app.viewer();
    viewer.show();
    expectPainted(*viewer.mailList());
}

TEST_F(HeaderPainterWindowsTest, TheAddressBooksList) {
    FriendForm& book = app.addressBook();
    book.show();
    auto* list = book.findChild<QTreeView*>("MailListView");
    ASSERT_NE(list, nullptr);
    expectPainted(*list);
}

}  // namespace
}  // namespace tsubame
