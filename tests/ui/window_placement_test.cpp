#include "ui/window_placement.h"

#include <gtest/gtest.h>

namespace tsubame::testing {
namespace {

TEST(WindowPlacementTest, BesideTheAnchorWhereItFitsElsePulledInside) {
    const QRect screen(0, 0, 1400, 1000);
    struct Case {
        QRect anchor;
        QSize frame;
        QPoint expected;
    };
    const Case cases[] = {
        {{100, 100, 160, 340}, {400, 300}, {268, 100}},   // right
        {{1200, 100, 190, 340}, {400, 300}, {792, 100}},  // left
        {{0, 0, 1400, 300}, {400, 300}, {0, 308}},        // below
        {{0, 600, 1400, 300}, {400, 300}, {0, 292}},      // above
        {{1000, 700, 390, 290}, {500, 400}, {900, 600}},  // nowhere: pulled into the corner
        {{100, 100, 160, 340}, {600, 1200}, {268, 0}},    // taller than the screen: top
        {{100, 100, 160, 340}, {1500, 300}, {0, 100}},    // wider than the screen: left
    };
    for (const Case& c : cases)
        EXPECT_EQ(placementBeside(c.frame, c.anchor, screen), c.expected)
            << c.anchor.x() << "," << c.anchor.y() << " " << c.frame.width();
}

}  // namespace
}  // namespace tsubame::testing
