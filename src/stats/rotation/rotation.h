// What every rotation shares: random starts and the keeping of the best
// start, Kaiser normalisation, the row weighting of the weighted variants,
// the least-squares transformation, and rotateSolution, which runs one
// method of the method table and applies the common final steps.
#pragma once

#include <functional>
#include <vector>

#include "core/matrix.h"
#include "report/settings.h"
#include "stats/extraction/unrotated_solution.h"

namespace talvex {

// Sweeps one start may run. A converging rotation ends long before; a start
// that reaches it ends where it stands and is counted as capped.
inline constexpr int kSweepLimit = 10000;

// The rotated solution relative to the loadings that were rotated:
// pattern = loadings · transformation, factorCorrelations = T⁻¹T⁻ᵀ.
struct RotatedSolution {
    Matrix pattern;             // p x m
    Matrix factorCorrelations;  // m x m
    Matrix transformation;      // m x m
    Matrix target;              // p x m; zeros for methods that build none
    int cappedStarts = 0;       // starts stopped by kSweepLimit
    bool halted = false;        // the user cancelled the choice; no matrices
};

class SimplimaxChooser;

// What a family routine returns for its input loadings.
struct RoutineResult {
    Matrix transformation;      // the routine's pattern is input · transformation
    Matrix factorCorrelations;  // oblique routines only
    Matrix target;              // the target a target-based method built (p x m)
    double criterion = 0.0;
    int cappedStarts = 0;
};

// Starts run by the orthomax family and Orthosim (the identity and the
// random ones), and by the oblimin family and the target rotations (one
// random start more).
int orthogonalStartCount(int randomStarts);
int obliqueStartCount(int randomStarts);

// A random m x m orthogonal start: randomStartMatrix with Gram-Schmidt
// orthonormalised columns. Draws m·m + 1 values from the random stream.
Matrix randomRotationStart(int m);

enum class Better { Larger, Smaller };

// What one start gives back to bestOfStarts: the matrices the family keeps
// (any of them may be empty) and the start's criterion.
struct StartOutcome {
    Matrix first;
    Matrix second;
    double criterion = 0.0;
    bool capped = false;
};

struct BestStart {
    double criterion = 0.0;
    int cappedStarts = 0;
};

// Runs `count` starts: start 0 passes the m x m identity to `run`, every
// later one randomRotationStart(m). Each start runs in its own matrix scope;
// the winning outcome (the first start, then any strictly better one) is
// copied element by element into keepFirst and keepSecond, which the caller
// created with the shapes of the outcome's matrices (an empty handle keeps
// nothing).
BestStart bestOfStarts(int m, int count, Better better,
                       const std::function<StartOutcome(const Matrix& start)>& run,
                       Matrix& keepFirst, Matrix& keepSecond);

// Row lengths √(Σⱼ aᵢⱼ²) as a p x 1 matrix.
Matrix rowLengths(const Matrix& a);
// The row lengths of Kaiser normalisation: those of rowLengths, but 1 for a
// row whose sum of squares is negligible (such a row is left as it is).
Matrix kaiserLengths(const Matrix& a);
// Rows divided by their kaiserLengths.
Matrix kaiserNormalize(const Matrix& a);
// Row i of a multiplied by factors[i][0].
Matrix scaleRows(const Matrix& a, const Matrix& factors);
// (LᵀL)⁻¹Lᵀ·pattern: the transformation that carries L closest to pattern.
Matrix leastSquaresTransformation(const Matrix& loadings, const Matrix& pattern);
// T⁻¹(T⁻¹)ᵀ: the factor correlations of the pattern L·T.
Matrix transformationCorrelations(const Matrix& transformation);

// The row weighting of the weighted variants: the principal axes F of L·Lᵀ,
// their rows normalised and reflected (G), the row weights (w) and the
// weighted rows W·G that the family routine rotates.
struct WeightedAxes {
    Matrix axes;      // F, p x m
    Matrix weights;   // w, p x 1
    Matrix weighted;  // W·G, p x m
    Matrix undo;      // p x 1: hᵢ·sᵢ/wᵢ, the row factors of H⁻¹S⁻¹W⁻¹
};
WeightedAxes weightedPrincipalAxes(const Matrix& loadings);

// Runs `routine` on the columns of `loadings` that carry loadings (the
// indices passed along) and embeds what it returns for the full set of
// factors: a factor without loadings keeps its column (identity row and
// column in T and Φ, a zero target column). With one such column or none
// left the routine is not run and T is the identity. With every column
// carrying loadings the routine runs on `loadings` itself.
using LiveRoutine =
    std::function<RoutineResult(const Matrix& live, const std::vector<int>& columns)>;
RoutineResult onFactorsWithLoadings(const Matrix& loadings, const LiveRoutine& routine);

// Runs `method` on loadings with the method's parameters from `table` and
// applies the common final steps (reflection by column sums, factor
// correlations of the reflected transformation, the target reflected with
// its factors). Simplimax asks `chooser` for the solution; without a
// chooser, or when the user cancels, the solution is halted. A method
// outside the table gives an empty solution.
RotatedSolution rotateSolution(const Matrix& loadings, RotationMethod method,
                               const RotationParameterTable& table,
                               SimplimaxChooser* chooser = nullptr);

// The method's clever start (when it names one) followed by the method,
// expressed relative to the unrotated loadings: the transformation is the
// product of both, and the factor correlations are those of that product.
// Simplimax takes its clever start inside its own procedure.
RotatedSolution rotateWithCleverStart(const Matrix& loadings, RotationMethod method,
                                      const RotationParameterTable& table,
                                      SimplimaxChooser* chooser = nullptr);

// True when the method and its clever start can be run (Simplimax, which
// needs the user's choice, is no clever start).
bool rotationAvailable(RotationMethod method, const RotationParameterTable& table);

// The argument that a method's routine receives (see ArgumentRule).
double rotationArgument(RotationMethod method, const RotationParameters& parameters,
                        int factorCount);

}  // namespace talvex
