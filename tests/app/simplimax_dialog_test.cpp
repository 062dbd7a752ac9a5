// The Simplimax dialog's rules: the offered range, the checks of Compute,
// the cap on the values run, the automatic choice, selection, OK and Cancel.
// The statistics are replaced by recording doubles with chosen criteria.
#include "app/simplimax_dialog.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "support/matrix_testing.h"
#include "app/terminal_window_system.h"
#include "support/scripted_window_system.h"

namespace talvex::testing {
namespace {

struct SimplimaxDialogTest : PoolTest {
    ScriptedWindowSystem ws;
    RotationParameters parameters{100, 1e-5f, 0.0f, 100, 28};
    std::vector<int> zerosRun;            // numbers of zeros passed to the rotation
    std::vector<double> criterionTable;   // criterion of the i-th number of zeros run
    std::vector<double> weightsStepped;   // weights[0][0] received by the step
    bool stepFromIdentity = true;

    // The rotation marks its weights with the number of zeros, so that the
    // weights the step receives tell which line they came from.
    SimplimaxRoutines doubles() {
        SimplimaxRoutines r;
        r.rotate = [this](const Matrix& l, int zeros, const RotationParameters&) {
            const std::size_t i = zerosRun.size();
            zerosRun.push_back(zeros);
            SimplimaxSolution s;
            s.weights = Matrix(l.rows(), l.cols());
            s.weights[0][0] = zeros;
            s.criterion = i < criterionTable.size() ? criterionTable[i] : 1.0;
            return s;
        };
        r.step = [this](const Matrix& l, const Matrix& w, const Matrix& t, const Matrix& phi,
                        double) {
            weightsStepped.push_back(w[0][0]);
            const Matrix id = identity(l.cols());
            for (int i = 0; i < l.cols(); ++i)
                for (int j = 0; j < l.cols(); ++j)
                    if (t[i][j] != id[i][j] || phi[i][j] != id[i][j]) stepFromIdentity = false;
            SimplimaxSolution s;
            s.transformation = identity(l.cols()).scale(2.0);
            s.factorCorrelations = identity(l.cols());
            s.weights = w;
            return s;
        };
        return r;
    }
    SimplimaxDialog open(int p, int m) { return SimplimaxDialog(Matrix(p, m), parameters, doubles()); }
    static void setRange(SimplimaxDialog& d, const std::string& minimum, const std::string& maximum) {
        EXPECT_EQ(d.set("minimumSalient", minimum), SetResult::Ok);
        EXPECT_EQ(d.set("maximumSalient", maximum), SetResult::Ok);
    }
    bool compute(SimplimaxDialog& d) { return d.press("compute", {}, ws); }
};

TEST_F(SimplimaxDialogTest, OffersARangeAroundThePerfectSimpleStructure) {
    // Zeros from N0 − trunc(2N0/3), at least 3m, to N0 + trunc(p/3), with
    // N0 = (m − 1)p; the edits show p·m minus those counts. Worked by hand.
    struct Row {
        int p, m;
        const char* minimum;
        const char* maximum;
        const char* range;
    };
    const Row rows[] = {
        {12, 3, "8", "27", "9 and 28"},     // 24 − 16 = 8 is raised to 9
        {10, 2, "7", "14", "6 and 13"},     // 10 − 6 = 4 is raised to 6
        {25, 5, "17", "91", "34 and 108"},  // 100 − 66 = 34 stays
        {7, 2, "5", "8", "6 and 9"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.p) + " x " + std::to_string(row.m));
        SimplimaxDialog d = open(row.p, row.m);
        EXPECT_EQ(d.find("minimumSalient")->value, row.minimum);
        EXPECT_EQ(d.find("maximumSalient")->value, row.maximum);
        EXPECT_EQ(d.find("zeroRange")->value, row.range);
        EXPECT_FALSE(d.okEnabled());
        EXPECT_FALSE(d.accept(ws));
    }
    // The range follows the edits: zeros from p·m − Maximum to p·m − Minimum.
    SimplimaxDialog d = open(12, 3);
    setRange(d, "10", "30");
    EXPECT_EQ(d.find("zeroRange")->value, "6 and 26");
}

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
        {"8", "28", "The maximum number of salient loadings is 27", "8", "27", 0},
        {"-5", "40", "The maximum number of salient loadings is 27", "-5", "27", 0},
        {"8", big, "The maximum number of salient loadings is 27", "8", "27", 0},
        {"-1", "20", "The minimum number of salient loadings is 0", "0", "20", 0},
        {small, "20", "The minimum number of salient loadings is 0", "0", "20", 0},
        {"20", "15", "The minimum and maximum number of loadings are worng", "20", "15", 0},
        {"18", "20", "The interval of number of zeros is too small", "18", "20", 0},
        {"20", "20", "The interval of number of zeros is too small", "20", "20", 0},
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
    // 200 x 4: 800 cells; zeros from 800 − maximum to 800 − minimum.
    struct Row {
        const char* minimum;
        const char* maximum;
        int first, last;
    };
    const Row rows[] = {
        {"100", "700", 100, 599},  // 601 values
        {"201", "700", 100, 599},  // 500 values
        {"200", "700", 100, 599},  // 501 values
        {"202", "700", 100, 598},  // 499 values
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.minimum) + " .. " + row.maximum);
        zerosRun.clear();
        SimplimaxDialog d = open(200, 4);
        setRange(d, row.minimum, row.maximum);
        EXPECT_TRUE(compute(d));
        ASSERT_FALSE(zerosRun.empty());
        EXPECT_EQ(zerosRun.front(), row.first);
        EXPECT_EQ(zerosRun.back(), row.last);
        EXPECT_EQ(static_cast<int>(zerosRun.size()), row.last - row.first + 1);
        EXPECT_EQ(d.zerosTo(), row.last);
    }
}

TEST_F(SimplimaxDialogTest, ChoosesTheZerosBeforeTheLargestRiseOfTheCriterion) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        const char* name;
        std::vector<double> criteria;  // for zeros 16, 17, 18, ...
        int chosen;
    };
    const Row rows[] = {
        {"rise after 18", {10, 8, 6, 12, 13}, 18},
        {"falling: first ratio", {10, 5, 2, 1}, 16},
        {"equal ratios keep the first", {1, 2, 4, 8}, 16},
        {"a rise from a perfect fit", {0, 0, 3, 4}, 17},
        {"no ratio above 0", {0, 0, 0, 0}, 16},
        {"a criterion that is not a number", {1, nan, 2, 6}, 18},
        {"the last ratio", {4, 4, 4, 4.5}, 18},
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
    EXPECT_FALSE(d.find("maximumSalient")->enabled);
    EXPECT_EQ(d.set("minimumSalient", "10"), SetResult::Disabled);
    for (const DialogButton& b : d.buttons()) EXPECT_EQ(b.enabled, b.name != "compute") << b.name;
    EXPECT_FALSE(compute(d));
    EXPECT_EQ(zerosRun.size(), 4u);

    struct Row {
        std::vector<std::string> args;
        bool taken;
        int selected;
    };
    const Row rows[] = {
        {{"18"}, true, 18}, {{"19"}, true, 19}, {{"16"}, true, 16},  {{"15"}, false, 16},
        {{"20"}, false, 16}, {{"17x"}, false, 16}, {{}, false, 16},   {{"17", "18"}, false, 16},
        {{"17"}, true, 17},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.empty() ? std::string("(none)") : row.args[0]);
        EXPECT_EQ(d.press("select", row.args, ws), row.taken);
        EXPECT_EQ(d.selectedZeros(), row.selected);
    }
    // OK fits the weights of the selected line from the identity.
    EXPECT_TRUE(d.accept(ws));
    EXPECT_EQ(weightsStepped, std::vector<double>{17});
    EXPECT_TRUE(stepFromIdentity);
    ASSERT_TRUE(d.chosen().has_value());
    EXPECT_EQ(d.chosen()->transformation[0][0], 2.0);
}

TEST_F(SimplimaxDialogTest, TheTerminalPrintsEachLineOnceAsItComes) {
    // OK is refused before Compute; Compute's lines appear as they are
    // added and are not printed again with the controls it changed.
    criterionTable = {1, 2, 3, 7};
    std::istringstream in("ok\nminimumSalient = 17\nmaximumSalient = 20\ncompute\nselect 17\nok\n");
    std::ostringstream out, err;
    TerminalWindowSystem terminal(in, out, err, TerminalModes{});
    SimplimaxDialog d = open(12, 3);
    EXPECT_TRUE(terminal.runDialog(d));
    EXPECT_EQ(weightsStepped, std::vector<double>{17});
    const std::string text = out.str();
    const std::string prompt = "Simplimax rotation> ";
    EXPECT_NE(text.find(prompt + "ok\n[refused] ok is disabled\n"), std::string::npos) << text;
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
