// Lifetime of matrices: scopes, marks, nesting and the construction hook.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/matrix.h"
#include "support/matrix_testing.h"

namespace talvex {
namespace {

using testing::PoolTest;

using MatrixPool = PoolTest;

TEST_F(MatrixPool, ScopeReleasesItsMatricesAndItsMark) {
    const std::size_t before = liveCount();
    openScope();
    EXPECT_EQ(liveCount(), before + 1) << "the mark is a live matrix";
    const Matrix a(2, 2), b(3, 1), c = identity(4);
    EXPECT_EQ(liveCount(), before + 4);
    EXPECT_EQ(a.rows() + b.rows() + c.rows(), 9);
    closeScope();
    EXPECT_EQ(liveCount(), before);
}

TEST_F(MatrixPool, ResultCreatedBeforeTheScopeSurvivesWithItsValues) {
    Matrix result(2, 2);
    const std::size_t withResult = liveCount();
    {
        MatrixScope scope;
        const Matrix t = identity(2).scale(3.0).addScalar(1.0);
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) result[i][j] = t[i][j];
    }
    EXPECT_EQ(liveCount(), withResult);
    EXPECT_THAT(result, testing::MatrixNear(testing::fromRows({{4, 1}, {1, 4}}), 0.0));
}

TEST_F(MatrixPool, NestedScopesCloseInsideOut) {
    const std::size_t before = liveCount();
    openScope();
    Matrix outer(5, 5);
    outer[4][4] = 7.0;
    const std::size_t outerLevel = liveCount();
    openScope();
    EXPECT_EQ(scopeDepth(), 2u + 1u);  // the fixture's scope and ours
    const Matrix inner1(1, 1), inner2(2, 2);
    closeScope();
    EXPECT_EQ(liveCount(), outerLevel);
    EXPECT_EQ(outer[4][4], 7.0);
    closeScope();
    EXPECT_EQ(liveCount(), before);
}

TEST_F(MatrixPool, LongLoopWithScopePerIterationStaysFlat) {
    const std::size_t before = liveCount();
    Matrix sum(3, 3);
    for (int iteration = 0; iteration < 2000; ++iteration) {
        MatrixScope scope;
        const Matrix step = identity(3).scale(0.5).multiply(ones(3, 3)).transpose();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) sum[i][j] += step[i][j];
        ASSERT_EQ(liveCount(), before + 1 + 1 + 5);  // sum, mark, five temporaries
    }
    EXPECT_EQ(liveCount(), before + 1);
    EXPECT_DOUBLE_EQ(sum[2][0], 1000.0);
}

TEST_F(MatrixPool, ConstructionHookSeesEveryMatrixIncludingMarks) {
    int calls = 0;
    setConstructionHook([](void* c) { ++*static_cast<int*>(c); }, &calls);
    {
        MatrixScope scope;  // the mark counts
        const Matrix a = identity(3);
        const Matrix b = a.transpose().multiply(a);
        (void)b;
    }
    setConstructionHook(nullptr, nullptr);
    const Matrix after(1, 1);
    EXPECT_EQ(calls, 4);
}

void releaseEverythingAndReport() {
    openScope();
    Matrix a(4, 4), b(2, 2);
    releaseAll();
    std::exit(liveCount() == 0 ? 0 : 2);
}

TEST(MatrixPoolDeathTest, ReleaseAllEmptiesThePool) {
    // Runs in a child so the rest of the test program keeps its pool.
    EXPECT_EXIT(releaseEverythingAndReport(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace talvex
