// "User provided target matrix": what a semi-specified target is, and the
// counts of the target just read. Closed with OK only.
#pragma once

#include "app/dialog_model.h"
#include "data/data_files.h"

namespace talvex {

class TargetInfoDialog : public DialogModel {
public:
    explicit TargetInfoDialog(const TargetCounts& counts);
};

}  // namespace talvex
