#include "app/target_info_dialog.h"

#include <iterator>
#include <string>

namespace talvex {

namespace {

const char* const kExplanation[] = {
    "The user provided target matrix is used in the Procrustean rotation.",
    "Browne (1972a, 1972b)",
    "",
    "The target matrix can be fully specified (i.e., each value in the target indicates the",
    "expected value in the loading matrix after rotation) or semi-specified (i.e., only some",
    "values in the target indicate the expected value in the loading matrix after rotation).",
    "Typically, the speficied values are the ones expected to be zero (or as close as possible",
    "to zero) in the loading matrix after rotation.",
    "",
    "The non-specified values are indicated with values of '+9' or '-9':",
    "",
    "    +9: non-specified value that is expected to be larger than zero.",
    "    -9: non-specified value that is expected to be lower than zero.",
    "",
    "Please note that the sign of the non-specified values are important in order to allow",
    "Talvex to assess the congruence between the target matrix and the rotated loading matrix:",
    "non-specified values will be set to +1 (or -1) in the target.",
};

Control number(const char* key, const char* caption, int value) {
    Control c;
    c.kind = ControlKind::Display;
    c.key = key;
    c.caption = caption;
    c.value = std::to_string(value);
    c.enabled = false;
    return c;
}

}  // namespace

TargetInfoDialog::TargetInfoDialog(const TargetCounts& counts)
    : DialogModel("User provided target matrix") {
    Control explanation = listControl("explanation", "What is a semi-specified target matrix?",
                                      {std::begin(kExplanation), std::end(kExplanation)});
    explanation.enabled = false;
    explanation.group = explanation.caption;
    explanation.labelled = false;
    add(std::move(explanation));

    // Group "Your semi-specified target ".
    add(number("columns", "Number of columns:", counts.columns));
    add(number("positiveFree",
               "Number of non-specified values expected to be larger than zero: ",
               counts.positiveFree));
    add(number("negativeFree", "Number of non-specified values expected to be lower than zero: ",
               counts.negativeFree));
    add(number("specified", "Number of specified values:", counts.specified));
    for (const char* key : {"columns", "positiveFree", "negativeFree", "specified"})
        control(key).group = "Your semi-specified target ";
}

}  // namespace talvex
