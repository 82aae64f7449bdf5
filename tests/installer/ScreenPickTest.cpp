// Which screen a point belongs to, over work areas laid out like two monitors side by
// side, the left one less a panel at its bottom.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Screen.h"

namespace {

TEST(ScreenPick, HoldingThenNearestThenPrimary) {
    const std::vector<zplat::ScreenRect> areas = {{0, 0, 1280, 770}, {1280, 0, 3200, 1080}};
    const int primary = 1;
    const struct {
        double x, y;
        int nearest, otherwise;
    } cases[] = {
        {10, 10, 0, 0},
        {1280, 10, 1, 1},        // a shared edge belongs to the right one only
        {1279.5, 10, 0, 0},
        {100, 785, 0, 1},        // over the left one's panel: outside every work area
        {3300, 500, 1, 1},
        {-100, 900, 0, 1},
        {1300, 1100, 1, 1},      // 20 below the right one, far below the left one
        {1270, 790, 1, 1},       // 20 below the left one, 10 left of the right one
        {1260, 775, 0, 1},       // 5 below the left one, 20 left of the right one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.x) + "," + std::to_string(c.y));
        EXPECT_EQ(zplat::PickScreen(areas, primary, zplat::ScreenPoint{c.x, c.y}, true), c.nearest);
        EXPECT_EQ(zplat::PickScreen(areas, primary, zplat::ScreenPoint{c.x, c.y}, false), c.otherwise);
    }
    // No primary named: the first; no screens at all: none.
    EXPECT_EQ(zplat::PickScreen(areas, -1, zplat::ScreenPoint{100, 785}, false), 0);
    EXPECT_EQ(zplat::PickScreen({}, 0, zplat::ScreenPoint{0, 0}, true), -1);
    EXPECT_EQ(zplat::PickScreen({}, 0, zplat::ScreenPoint{0, 0}, false), -1);
}

}  // namespace
