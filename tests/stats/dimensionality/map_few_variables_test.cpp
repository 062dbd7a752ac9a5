// MAP with fewer than three variables: with one there is no partial
// correlation at all, with two the single partial left by the first
// component is always ±1, so the averages are 0/0 or say nothing. The
// section says why the test is not computed and advises no number.
#include <gtest/gtest.h>

#include <string>

#include "stats/dimensionality/map.h"
#include "support/matrix_testing.h"
#include "support/report_testing.h"

namespace talvex {
namespace {

using testing::captureReport;
using MapFewVariablesTest = testing::PoolTest;

TEST_F(MapFewVariablesTest, FewerThanThreeVariablesAreNotTested) {
    const std::string head = "MINIMUM AVERAGE PARTIAL TEST (MAP)\nVelicer (1976)\n\n";
    const struct {
        Matrix r;
        std::string text;
    } cases[] = {
        {testing::fromRows({{1.0}}),
         head + "Not computed: the test needs at least 3 variables, and 1 is analysed.\n\n" + testing::kSectionEnd},
        {testing::fromRows({{1.0, 0.4}, {0.4, 1.0}}),
         head + "Not computed: the test needs at least 3 variables, and 2 are analysed.\n\n" + testing::kSectionEnd},
    };
    for (const auto& c : cases) {
        int advised = -1;
        EXPECT_EQ(captureReport([&](ReportWriter& w) { advised = writeMapTest(w, c.r); }), c.text);
        EXPECT_EQ(advised, 0);
    }
}

}  // namespace
}  // namespace talvex
