// A fixture that runs any of the four readers on one file.
#pragma once

#include <string>

#include "data/data_files.h"
#include "support/matrix_testing.h"
#include "support/recording_messenger.h"
#include "support/temp_files.h"

namespace talvex::testing {

enum class Reader { Scores, Matrix, Target, Labels };

class ReaderTest : public PoolTest {
protected:
    void TearDown() override {
        data = DataSet{};
        PoolTest::TearDown();
    }

    // Every file name of the DataSet names `path`; N = n, m = m.
    ReadResult readPath(Reader reader, const std::string& path, int n, int m) {
        data.scoresFileName = data.matrixFileName = path;
        data.targetFileName = data.labelsFileName = path;
        data.participantCount = n;
        data.variableCount = m;
        switch (reader) {
            case Reader::Scores: return readScoresFile(data, messenger);
            case Reader::Matrix: return readMatrixFile(data, messenger);
            case Reader::Target: return readTargetFile(data, messenger, counts);
            case Reader::Labels: break;
        }
        return readLabelsFile(data, messenger);
    }

    TempDir dir;
    DataSet data;
    RecordingMessenger messenger;
    TargetCounts counts;
};

}  // namespace talvex::testing
