#include "app/hull_dialog.h"

#include <iterator>
#include <string>

namespace talvex {

namespace {

const char* const kDescription[] = {
    "The Hull method for selecting the number of common factors (HULL)",
    "Varnholt, Zazadidov, & Dodaz (2011) ",
    "",
    "The Hull method aims to find a model with an optimal balance between model fit",
    "and number of parameters. It can be computed based on different fit indices.",
    "You can choose between CAF, CFI, and RMSEA, or allow TALVEX to use the more ",
    "advisable indice for the factor analysis computed.",
    "",
    "This method seems especially efficient when the number of mesured variables per",
    "factor is large.",
    "",
};

}  // namespace

HullDialog::HullDialog(const AnalysisSettings& settings) : DialogModel("The Hull method") {
    Control description = listControl("description", "Short description of the method",
                                      {std::begin(kDescription), std::end(kDescription)});
    description.enabled = false;
    description.group = description.caption;
    description.labelled = false;
    add(std::move(description));

    add(choiceControl("hullIndexChoice", "Goodness-of-fit index",
                      {
                          {Optimal, "optimal", "Optimal index depending on the factor extraction used"},
                          {CAF, "CAF", "CAF (Common part Accounted For)"},
                          {CFI, "CFI", "CFI (Comparative Fit Index)"},
                          {RMSEA, "RMSEA", "RMSEA (Root Mean Square Error of Approximation)"},
                      },
                      settings.hullIndexChoice));
    control("hullIndexChoice").group = "Goodness-of-fit index";
    control("hullIndexChoice").labelled = false;
}

void HullDialog::commit(AnalysisSettings& settings) const {
    settings.hullIndexChoice = static_cast<HullIndex>(choice("hullIndexChoice"));
}

}  // namespace talvex
