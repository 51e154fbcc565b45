#include "demo/end.h"
#include "support/scene_fixture.h"

namespace {

constexpr double kEndStart = 219.0;

TEST(EndTimeline, OverlayAndStillAlphas) {
    EXPECT_FLOAT_EQ(EndPart::whiteAlpha(0), 1.0f);
    EXPECT_FLOAT_EQ(EndPart::whiteAlpha(1), 0.5f);
    EXPECT_FLOAT_EQ(EndPart::whiteAlpha(2), 0.0f);
    EXPECT_FLOAT_EQ(EndPart::stillAlpha(10.99f), 0.0f);
    EXPECT_FLOAT_EQ(EndPart::stillAlpha(11), 0.0f);
    EXPECT_FLOAT_EQ(EndPart::stillAlpha(11.5f), 0.5f);
    EXPECT_FLOAT_EQ(EndPart::stillAlpha(12), 1.0f);
}

TEST_F(SceneFrames, EndOpensWhiteAndTheVideoFadesToBlackAtTheBorder) {
    frameAt(kEndStart);
    EXPECT_GE(brightness(pixel(400, 300)), 3 * 250);
    EXPECT_GE(brightness(pixel(2, 2)), 3 * 250);

    frameAt(kEndStart + 5);
    EXPECT_LE(brightness(pixel(0, 0)), 3 * 8); // the black border ring
    EXPECT_LE(brightness(pixel(799, 599)), 3 * 8);
    EXPECT_GE(brightness(pixel(400, 150)), 3 * 150); // paper in the middle
}

TEST_F(SceneFrames, EndShowsOnlyTheStillFromTwelveSeconds) {
    frameAt(kEndStart + 12.5);
    // No video grid any more: the corners show the still picture, not the black border.
    EXPECT_GE(brightness(pixel(1, 1)), 3 * 100);
    EXPECT_GE(brightness(pixel(798, 598)), 3 * 100);
}

} // namespace
