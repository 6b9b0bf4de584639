#include <gtest/gtest.h>

#include "render/maths.h"

TEST(Maths, placeholder) { EXPECT_EQ(mat4()[0][0], 1.0f); }
