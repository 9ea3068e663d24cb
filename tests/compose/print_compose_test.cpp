// Printing the compose window's body.
#include <QFile>
#include <QRegularExpression>

#include "compose/compose_fixture.h"
#include "compose/write_commands.h"
#include "editor/plain_text.h"

namespace tsubame::testing {
namespace {

// Pages of a PDF written by Qt (its page objects are not compressed).
int pdfPages(const std::filesystem::path& file) {
    QFile pdf(QString::fromStdString(file.string()));
    if (!pdf.open(QIODevice::ReadOnly)) return -1;
    return static_cast<int>(
        QString::fromLatin1(pdf.readAll()).count(QRegularExpression("/Type\\s*/Page[^s]")));
}

class ComposePrintTest : public ComposeTest {
  protected:
    ComposePrintTest() {
        open();
        QString text;
        for (int i = 1; i <= 200; ++i) text += QStringLiteral("%1 行目の本文\n").arg(i);
        form().body()->setPlainText(text);
    }
    QString pdf(const char* name) const {
        return QString::fromStdString((folder.path() / name).string());
    }
    void trigger(const char* name) { control<QAction>(name)->trigger(); }
};

TEST_F(ComposePrintTest, TwoCopiesGiveTwoJobsWithTheSameText) {
    dialogs.printNext(pdf("two.pdf"), 2);
    EXPECT_EQ(writeCommands(form())->print(), 2);
    EXPECT_GT(pdfPages(folder.path() / "two.pdf"), 1);  // the whole body
}

TEST_F(ComposePrintTest, ASelectionPrintsOnlyTheSelectedText) {
    setSelection(*form().body(), 0, 8);
    dialogs.printNext(pdf("sel.pdf"), 1);
    trigger("mprint");
    EXPECT_EQ(dialogs.printDialogsShown(), 1);
    EXPECT_EQ(pdfPages(folder.path() / "sel.pdf"), 1);
}

TEST_F(ComposePrintTest, TheToolbarPrintsToo) {
    dialogs.printNext(pdf("tb.pdf"), 1);
    writeCommands(form())->runToolbarKey("Print");
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "tb.pdf"));
}

TEST_F(ComposePrintTest, CancellingPrintsNothingAndShowsNothing) {
    dialogs.printNext(std::nullopt);
    trigger("mprint");
    EXPECT_EQ(dialogs.printDialogsShown(), 1);
    EXPECT_TRUE(dialogs.boxes().empty());
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "out.pdf"));
}

}  // namespace
}  // namespace tsubame::testing
