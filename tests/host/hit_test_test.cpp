#include "ui/hit_areas.h"
#include "ui/layout.h"

#include <gtest/gtest.h>

using namespace elvara;

TEST(HitTesting, ButtonsAndCheckboxBandFromTheLayout)
{
    const struct {
        float x, y;
        bool primary, back, row, checkbox;
    } rows[] = {
        {600, 503, true, false, true, false},  {744, 540, true, false, true, false},
        {599.9f, 520, false, false, true, false}, {744.1f, 520, false, false, true, false},
        {672, 502.9f, false, false, false, false}, {672, 540.1f, false, false, false, false},
        {478, 503, false, true, true, false},  {588, 540, false, true, true, false},
        {594, 520, false, false, true, false}, {44, 425, false, false, false, false},
        {44, 425.1f, false, false, false, true}, {44, 468.9f, false, false, false, true},
        {44, 469, false, false, false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(inPrimaryButton(row.x, row.y), row.primary) << row.x << "," << row.y;
        EXPECT_EQ(inBackButton(row.x, row.y), row.back) << row.x << "," << row.y;
        EXPECT_EQ(inButtonRow(row.y), row.row) << row.y;
        EXPECT_EQ(inCheckboxRow(row.y), row.checkbox) << row.y;
    }
}

TEST(HitTesting, HoverEasing)
{
    EXPECT_EQ(easingFactor(false, 0.016f), 1.0f);
    EXPECT_EQ(easingFactor(true, -1.0f), 0.0f);
    EXPECT_FLOAT_EQ(easingFactor(true, 5.0f), easingFactor(true, 0.1f)); // capped
    EXPECT_EQ(easeToward(0.9995f, true, 0.5f), 1.0f);                  // snaps near the goal
    EXPECT_FLOAT_EQ(easeToward(0.0f, true, 0.25f), 0.25f);
}
