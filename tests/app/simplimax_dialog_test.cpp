// The Simplimax dialog's rules: the checks of Compute, the cap on the values
// run, the automatic choice, selection and OK.
// The statistics are replaced by recording doubles with chosen criteria.
#include "app/simplimax_dialog.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/simplimax_doubles.h"
#include "support/matrix_testing.h"
#include "app/terminal_window_system.h"
#include "support/scripted_window_system.h"

namespace talvex::testing {
namespace {

struct SimplimaxDialogTest : PoolTest, SimplimaxDoubles {
    ScriptedWindowSystem ws;
    static void setRange(SimplimaxDialog& d, const std::string& minimum, const std::string& maximum) {
        EXPECT_EQ(d.set("minimumSalient", minimum), SetResult::Ok);
        EXPECT_EQ(d.set("maximumSalient", maximum), SetResult::Ok);
    }
    bool compute(SimplimaxDialog& d) { return d.press("compute", {}, ws); }
};

// The offered range and the checks the simplimax_cancel transcript shows
// (raised minimum, too small an interval, minimum above maximum) are pinned there.
TEST_F(SimplimaxDialogTest, ComputeChecksTheRangeInOrder) {
    // 12 x 3: 36 cells, at least 9 zeros.
    const std::string big = "99999999999", small = "-99999999999";
    struct Row {
        std::string minimum, maximum;
        std::string message;  // empty: the range runs
        std::string minimumAfter, maximumAfter;
        int valuesRun;
    };
    const Row rows[] = {
        {"8", big, "The maximum number of salient loadings is 27", "8", "27", 0},
        {small, "20", "The minimum number of salient loadings is 0", "0", "20", 0},
        {"17", "20", "", "17", "20", 4},
        {"0", "27", "", "0", "27", 28},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.minimum + " .. " + row.maximum);
        ws.messages.clear();
        zerosRun.clear();
        SimplimaxDialog d = open(12, 3);
        setRange(d, row.minimum, row.maximum);
        EXPECT_TRUE(compute(d));
        if (row.message.empty()) {
            EXPECT_TRUE(ws.messages.empty());
        } else {
            ASSERT_EQ(ws.messages.size(), 1u);
            EXPECT_EQ(ws.messages[0].text, row.message);
        }
        EXPECT_EQ(d.find("minimumSalient")->value, row.minimumAfter);
        EXPECT_EQ(d.find("maximumSalient")->value, row.maximumAfter);
        EXPECT_EQ(static_cast<int>(zerosRun.size()), row.valuesRun);
        EXPECT_EQ(d.okEnabled(), row.valuesRun > 0);
        if (row.valuesRun > 0) {
            EXPECT_EQ(zerosRun.front(), 36 - std::stoi(row.maximum));
            EXPECT_EQ(zerosRun.back(), 36 - std::stoi(row.minimum));
        }
    }
}

TEST_F(SimplimaxDialogTest, RunsAtMostFiveHundredValues) {
    // 200 x 4: 800 cells; zeros 100 to 600 are 501 values, cut to 100..599.
    SimplimaxDialog d = open(200, 4);
    setRange(d, "200", "700");
    EXPECT_TRUE(compute(d));
    ASSERT_EQ(zerosRun.size(), 500u);
    EXPECT_EQ(zerosRun.front(), 100);
    EXPECT_EQ(zerosRun.back(), 599);
}

TEST_F(SimplimaxDialogTest, ChoosesTheZerosBeforeTheLargestRiseOfTheCriterion) {
    struct Row {
        const char* name;
        std::vector<double> criteria;  // for zeros 16, 17, 18, ...
        int chosen;
    };
    const Row rows[] = {
        {"rise after 18", {10, 8, 6, 12, 13}, 18},
        {"equal ratios keep the first", {1, 2, 4, 8}, 16},
        {"a rise from a perfect fit", {0, 0, 3, 4}, 17},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        criterionTable = row.criteria;
        zerosRun.clear();
        SimplimaxDialog d = open(12, 3);
        const int last = 16 + static_cast<int>(row.criteria.size()) - 1;
        setRange(d, std::to_string(36 - last), "20");
        EXPECT_TRUE(compute(d));
        EXPECT_EQ(d.selectedZeros(), row.chosen);
    }
}

TEST_F(SimplimaxDialogTest, AfterComputeOnlySelectionAndOkRemain) {
    SimplimaxDialog d = open(12, 3);
    EXPECT_FALSE(d.press("select", {"16"}, ws));  // nothing computed yet
    setRange(d, "17", "20");
    EXPECT_TRUE(compute(d));
    EXPECT_TRUE(d.okEnabled());
    EXPECT_FALSE(d.find("minimumSalient")->enabled);
    for (const DialogButton& b : d.buttons()) EXPECT_EQ(b.enabled, b.name != "compute") << b.name;
    EXPECT_FALSE(compute(d));
    EXPECT_EQ(zerosRun.size(), 4u);

    // Zeros 16 to 19 were run.
    EXPECT_FALSE(d.press("select", {"20"}, ws));
    EXPECT_TRUE(d.press("select", {"17"}, ws));
    EXPECT_EQ(d.selectedZeros(), 17);
}

TEST_F(SimplimaxDialogTest, TheTerminalPrintsEachLineOnceAsItComesAndOkFitsTheSelection) {
    // Compute's lines appear as they are added and are not printed again
    // with the controls it changed.
    criterionTable = {1, 2, 3, 7};
    std::istringstream in("minimumSalient = 17\nmaximumSalient = 20\ncompute\nselect 17\nok\n");
    std::ostringstream out, err;
    TerminalWindowSystem terminal(in, out, err, TerminalModes{});
    SimplimaxDialog d = open(12, 3);
    EXPECT_TRUE(terminal.runDialog(d));
    // OK fits the weights of the selected line from the identity.
    EXPECT_EQ(weightsStepped, std::vector<double>{17});
    ASSERT_TRUE(d.chosen().has_value());
    EXPECT_EQ(d.chosen()->transformation[0][0], 2.0);
    const std::string text = out.str();
    const std::string prompt = "Simplimax rotation> ";
    const std::string computed =
        prompt + "compute\n"
        "    Salient loadings = 20 ; Zero loadings = 16; fr = 1.000000\n"
        "    Salient loadings = 19 ; Zero loadings = 17; fr = 2.000000\n"
        "    Salient loadings = 18 ; Zero loadings = 18; fr = 3.000000\n"
        "    Salient loadings = 17 ; Zero loadings = 19; fr = 7.000000\n"
        "minimumSalient  Minimum:  17 [disabled]\n"
        "maximumSalient  Maximum:  20 [disabled]\n"
        "selected  Selected line:  Salient loadings = 18 ; Zero loadings = 18; fr = 3.000000\n" +
        prompt + "select 17\n"
        "selected  Selected line:  Salient loadings = 19 ; Zero loadings = 17; fr = 2.000000\n" +
        prompt + "ok\n";
    EXPECT_NE(text.find(computed), std::string::npos) << text;
}

}  // namespace
}  // namespace talvex::testing
