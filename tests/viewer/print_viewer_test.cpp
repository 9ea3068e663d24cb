// Printing the viewer's reader from the toolbar.
#include <QRegularExpression>
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
    int pagesIn(const char* name) const {
        const QString bytes = QString::fromLatin1(readFileBytes(folder_ / name));
        return static_cast<int>(bytes.count(QRegularExpression("/Type\\s*/Page[^s]")));
    }
};

TEST_F(ViewerPrintTest, ASelectionIsOfferedAndTheUsersChoiceIsPrinted) {
    QStringList lines;
    for (int i = 1; i <= 300; ++i) lines << QStringLiteral("行 %1").arg(i);
    viewer().reader()->setPlainText(lines.join(u'\n'));
    setSelection(*viewer().reader(), 0, 3);
    dialogs_.printNext(pdf("selection.pdf"));
    ASSERT_EQ(commands().print(), 1);
    EXPECT_TRUE(dialogs_.selectionOffered());
    EXPECT_EQ(pagesIn("selection.pdf"), 1);

    dialogs_.printNext(pdf("whole.pdf"), 1, ScriptedDialogs::PrintChoice::WholeText);
    ASSERT_EQ(commands().print(), 1);
    EXPECT_GT(pagesIn("whole.pdf"), 3);

    setSelection(*viewer().reader(), 0, 0);
    dialogs_.printNext(std::nullopt);
    commands().print();
    EXPECT_FALSE(dialogs_.selectionOffered());
}

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
