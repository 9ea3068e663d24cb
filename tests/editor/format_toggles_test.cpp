#include "editor/format_toggles.h"

#include <gtest/gtest.h>

#include <QTextEdit>

#include "editor/editor_state.h"

namespace tsubame {
namespace {

TEST(FormatToggles, ThreePressesGoOnOffOn) {
    EditorState state;
    QTextEdit body;
    body.setPlainText("text");
    toggleBold(body, state);
    EXPECT_TRUE(body.font().bold());
    toggleBold(body, state);
    EXPECT_FALSE(body.font().bold());
    toggleBold(body, state);
    EXPECT_TRUE(body.font().bold());
    EXPECT_TRUE(state.BoldOn);
}

TEST(FormatToggles, TheFlagsAreSharedBetweenTheTwoBoxes) {
    EditorState state;
    QTextEdit viewer, compose;
    toggleBold(viewer, state);
    toggleBold(compose, state);
    EXPECT_TRUE(viewer.font().bold());
    EXPECT_FALSE(compose.font().bold());  // the second press switches off
    toggleItalic(compose, state);
    toggleItalic(viewer, state);
    EXPECT_TRUE(compose.font().italic());
    EXPECT_FALSE(viewer.font().italic());
}

TEST(FormatToggles, EachAttributeHasItsOwnFlagAndTheWholeTextFollows) {
    EditorState state;
    QTextEdit body;
    body.setPlainText("some text");
    toggleUnderline(body, state);
    toggleItalic(body, state);
    EXPECT_TRUE(body.font().underline());
    EXPECT_TRUE(body.font().italic());
    EXPECT_FALSE(body.font().bold());
    EXPECT_FALSE(state.BoldOn);
    // Text already in the box takes the box's font.
    QTextCursor cursor(body.document());
    cursor.setPosition(3);
    EXPECT_TRUE(cursor.charFormat().font().underline());
    EXPECT_TRUE(cursor.charFormat().font().italic());
}

}  // namespace
}  // namespace tsubame
