// The viewer's search in its reader, through the edit menu and the search box.
#include <QLineEdit>
#include <QTextEdit>

#include "editor/plain_text.h"
#include "viewer/actions_fixture.h"

namespace tsubame::testing {
namespace {

class ViewerSearchTest : public ViewerCommandsTest {
  protected:
    void setUp(const QString& text, const QString& what) {
        viewer().reader()->setPlainText(text);
        control<QLineEdit>("Text1")->setText(what);
    }
    void find() { action("mkensaku")->trigger(); }
    void findNext() { action("mtugikensaku")->trigger(); }
    qsizetype start() { return selectionStart(*viewer().reader()); }
    qsizetype length() { return selectionLength(*viewer().reader()); }
    qsizetype last() { return commands().search().lastFound(); }
};

TEST_F(ViewerSearchTest, FindThenFindNextWalksThroughTheMatchesAndWrapsAfterAMiss) {
    setUp("abcabc", "bc");
    find();
    EXPECT_EQ(last(), 2);
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(length(), 2);
    findNext();  // from 4
    EXPECT_EQ(last(), 5);
    EXPECT_EQ(start(), 4);
    EXPECT_EQ(length(), 2);
    findNext();  // from 7: nothing; the selection stays
    EXPECT_EQ(last(), 0);
    EXPECT_EQ(start(), 4);
    EXPECT_EQ(length(), 2);
    findNext();  // from 2
    EXPECT_EQ(last(), 2);
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(length(), 2);
}

TEST_F(ViewerSearchTest, AfterAMissTheNextSearchSkipsAnOccurrenceBeforeTheLengthOfTheText) {
    setUp("abcabc", "abc");
    find();
    EXPECT_EQ(last(), 1);
    findNext();  // from 4
    EXPECT_EQ(last(), 4);
    findNext();  // from 7
    EXPECT_EQ(last(), 0);
    findNext();  // from 3: the occurrence at 1 is skipped
    EXPECT_EQ(last(), 4);
    EXPECT_EQ(start(), 3);
    EXPECT_EQ(length(), 3);
}

TEST_F(ViewerSearchTest, TheComparisonIsCaseSensitiveAndWidthSensitive) {
    setUp("abc ａｂｃ", "ABC");
    setSelection(*viewer().reader(), 1, 1);
    find();
    EXPECT_EQ(last(), 0);
    EXPECT_EQ(start(), 1);
    EXPECT_EQ(length(), 1);
    control<QLineEdit>("Text1")->setText("ａｂｃ");
    find();
    EXPECT_EQ(last(), 5);
}

TEST_F(ViewerSearchTest, AChangedSearchTextUsesItsOwnLengthForTheNextStart) {
    setUp("abcdabcd", "abcd");
    find();                                     // 1
    control<QLineEdit>("Text1")->setText("a");  // next start 1 + 1 = 2
    findNext();
    EXPECT_EQ(last(), 5);
}

TEST_F(ViewerSearchTest, EmptySearchText) {
    setUp("text", "");
    find();
    EXPECT_EQ(last(), 1);
    EXPECT_EQ(start(), 0);
    EXPECT_EQ(length(), 0);
    setUp("", "");
    find();
    EXPECT_EQ(last(), 0);
    // Find next with nothing to start from does nothing.
    setUp("text", "");
    setSelection(*viewer().reader(), 2, 1);
    findNext();
    EXPECT_EQ(last(), 0);
    EXPECT_EQ(start(), 2);
    EXPECT_EQ(length(), 1);
}

TEST_F(ViewerSearchTest, MatchesFarIntoALongTextAreFound) {
    setUp(QString(40000, u'a') + "xyz" + QString(100, u'b') + "xyz", "xyz");
    find();
    EXPECT_EQ(last(), 40001);
    EXPECT_EQ(start(), 40000);
    findNext();
    EXPECT_EQ(last(), 40104);
}

TEST_F(ViewerSearchTest, SelectAllCoversTheReaderAlsoWhenEmpty) {
    setUp("", "");
    action("mall")->trigger();
    EXPECT_EQ(start(), 0);
    EXPECT_EQ(length(), 0);
    setUp("二行の\n本文", "");
    action("mall")->trigger();
    EXPECT_EQ(start(), 0);
    EXPECT_EQ(length(), 6);
}

}  // namespace
}  // namespace tsubame::testing
