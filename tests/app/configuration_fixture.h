// Shared set-up for the Configure Analysis tests: a DataSet filled by hand
// (as Read Data would leave it) inside a scope that must be released again.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/settings.h"
#include "app/dialog_model.h"
#include "core/matrix.h"
#include "data/dataset.h"
#include "support/scripted_window_system.h"

namespace talvex::testing {

class ConfigurationTest : public ::testing::Test {
protected:
    void SetUp() override {
        liveBefore_ = liveCount();
        openScope();
    }
    void TearDown() override {
        closeScope();
        EXPECT_EQ(liveCount(), liveBefore_);
    }

    // A scores file of `variables` items and `participants` rows with the
    // observed range 1..5, every variable included, no missing-value code.
    static DataSet makeData(int variables, int participants) {
        DataSet d;
        d.dataRead = true;
        d.variableCount = variables;
        d.participantCount = participants;
        d.rowsRead = participants;
        d.missingCodeEnabled = false;
        d.variableList = Matrix(variables, 2);
        for (int i = 0; i < variables; ++i) {
            d.variableList[i][0] = i;
            d.variableList[i][1] = 1.0;
        }
        d.observedMin = 1;
        d.observedMax = 5;
        return d;
    }

    static void addTarget(DataSet& d, int columns) {
        d.targetEnabled = true;
        d.targetMatrix = Matrix(d.variableCount, columns);
    }

    static bool enabled(const DialogModel& dialog, const std::string& key) {
        return dialog.find(key)->enabled;
    }
    static std::string value(const DialogModel& dialog, const std::string& key) {
        return dialog.find(key)->value;
    }
    static bool buttonEnabled(const DialogModel& dialog, const std::string& name) {
        for (const DialogButton& b : dialog.buttons())
            if (b.name == name) return b.enabled;
        ADD_FAILURE() << "no button " << name;
        return false;
    }
    static std::vector<std::string> listItems(const DialogModel& dialog, const std::string& key) {
        std::vector<std::string> items;
        for (const ControlOption& o : dialog.find(key)->options) items.push_back(o.caption);
        return items;
    }

    AnalysisSettings settings;
    RotationParameterTable rotations;
    ScriptedWindowSystem ws;

private:
    std::size_t liveBefore_ = 0;
};

}  // namespace talvex::testing
