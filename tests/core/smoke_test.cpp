#include <gtest/gtest.h>

#include "core/matrix.h"

TEST(Smoke, Builds) {
    talvex::MatrixScope scope;
    talvex::Matrix a = talvex::identity(3);
    EXPECT_DOUBLE_EQ(a.inverse()[1][1], 1.0);
}
