#include "editor/print_text.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextEdit>

#include "editor/plain_text.h"
#include "support/scripted_dialogs.h"

namespace tsubame {
namespace {

using testing::ScriptedDialogs;

// Number of pages in a PDF written by Qt (its page objects are not compressed).
int pdfPages(const QString& file) {
    QFile pdf(file);
    if (!pdf.open(QIODevice::ReadOnly)) return -1;
    const QString text = QString::fromLatin1(pdf.readAll());
    return static_cast<int>(text.count(QRegularExpression("/Type\\s*/Page[^s]")));
}

class PrintTextTest : public ::testing::Test {
  protected:
    PrintTextTest() {
        QString text;
        for (int i = 1; i <= 300; ++i) text += QStringLiteral("行 %1 の本文\n").arg(i);
        body.setPlainText(text);
    }
    QString pdf(const char* name) const { return dir.path() + "/" + name; }
    QTemporaryDir dir;
    QTextEdit body;
    ScriptedDialogs dialogs;
};

TEST_F(PrintTextTest, TwoCopiesAreTwoJobsOfOneCopyEach) {
    setSelection(body, 0, 5);
    dialogs.printNext(pdf("two.pdf"), 2);
    EXPECT_EQ(printBody(body, dialogs, nullptr), 2);
    // Each job holds the text once: the selection fits on one page.
    EXPECT_EQ(pdfPages(pdf("two.pdf")), 1);
}

TEST_F(PrintTextTest, WithoutSelectionTheWholeTextIsPrinted) {
    dialogs.printNext(pdf("all.pdf"), 1);
    EXPECT_EQ(printBody(body, dialogs, nullptr), 1);
    EXPECT_GT(pdfPages(pdf("all.pdf")), 1);
}

TEST_F(PrintTextTest, CancelPrintsNothingAndSaysNothing) {
    dialogs.printNext(std::nullopt);
    EXPECT_EQ(printBody(body, dialogs, nullptr), 0);
    EXPECT_EQ(dialogs.printDialogsShown(), 1);
    EXPECT_TRUE(dialogs.boxes().empty());
}

TEST_F(PrintTextTest, APrinterThatCannotStartPrintsNoJob) {
    dialogs.printNext(pdf("no-folder/x.pdf"), 2);
    EXPECT_EQ(printBody(body, dialogs, nullptr), 0);
}

}  // namespace
}  // namespace tsubame
