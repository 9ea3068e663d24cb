// Printing the viewer's reader from the toolbar.
#include <QTextEdit>

#include "editor/plain_text.h"
#include "viewer/actions_fixture.h"

namespace tsubame::testing {
namespace {

class ViewerPrintTest : public ViewerCommandsTest {
  protected:
    QString pdf(const char* name) const {
        return QString::fromStdString((folder_ / name).string());
    }
};

TEST_F(ViewerPrintTest, TwoCopiesAreTwoPrintJobs) {
    viewer().reader()->setPlainText("印刷する本文");
    dialogs_.printNext(pdf("out.pdf"), 2);
    EXPECT_EQ(commands().print(), 2);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "out.pdf"));
    EXPECT_TRUE(dialogs_.boxes().empty());
}

TEST_F(ViewerPrintTest, TheToolbarAndTheFileMenuEntryPrint) {
    viewer().reader()->setPlainText("text");
    dialogs_.printNext(pdf("menu.pdf"), 1);
    action("mprint")->trigger();
    EXPECT_EQ(dialogs_.printDialogsShown(), 1);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "menu.pdf"));
    dialogs_.printNext(pdf("tb.pdf"), 1);
    commands().runToolbarKey("Print");
    EXPECT_EQ(dialogs_.printDialogsShown(), 2);
    EXPECT_TRUE(std::filesystem::exists(folder_ / "tb.pdf"));
}

TEST_F(ViewerPrintTest, CancellingPrintsNothingAndShowsNothing) {
    viewer().reader()->setPlainText("text");
    setSelection(*viewer().reader(), 0, 2);
    dialogs_.printNext(std::nullopt);
    EXPECT_EQ(commands().print(), 0);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "out.pdf"));
    EXPECT_TRUE(dialogs_.boxes().empty());
}

}  // namespace
}  // namespace tsubame::testing
