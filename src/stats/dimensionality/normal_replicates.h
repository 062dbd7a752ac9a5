// The random data sets of classical parallel analysis on normal samples,
// without matrices: each sample is drawn in order on the calling thread, and
// its Pearson correlations and eigenvalues may be computed on a second
// thread while the next sample is drawn. The numbers are those of
// correlationOf and Matrix::eigenSymmetric bit for bit, whatever the thread
// count.
#pragma once

#include <functional>
#include <vector>

#include "core/kernels.h"

namespace talvex {

// Buffers of one correlation and eigenvalue computation, reused between
// samples so no memory is allocated per sample.
struct CorrelationWorkspace {
    int rows = -1, cols = -1;     // the sample z is shaped for
    std::vector<double> z;        // the standardized sample, row-major, padded
    std::vector<double> sums, squares, means, sds, products;
    std::vector<double> eigen, work, ascending;
};

// Pearson correlations of an n x p sample stored column after column into
// the row-major p x p r: the column means and standard deviations over n,
// the standardized values, and each product summed over the rows in order
// and multiplied by 1/n. Either build of the kernels gives the same bits.
void pearsonOfColumns(const double* x, int n, int p, double* r, CorrelationWorkspace& w,
                      KernelPath path = kernelPath());

// Eigenvalues of the symmetric row-major p x p a, decreasing, by the same
// LAPACK call as Matrix::eigenSymmetric.
void symmetricEigenvalues(const double* a, int p, double* values, CorrelationWorkspace& w);

struct NormalReplicates {
    std::vector<double> eigenvalues;  // k x p, decreasing, sample after sample
    // Samples whose correlation matrix has a negative eigenvalue, with the
    // samples themselves (column after column), for the caller to smooth.
    std::vector<int> indefinite;
    std::vector<std::vector<double>> indefiniteSamples;
};

// Eigenvalues of the Pearson correlations of k normal samples of n x p
// (n, p >= 1), each drawn as randomNormalMatrix(n, p) would draw it. On the
// calling thread, progress(s) is called before sample s is drawn, and
// analysed(s, indefinite) in order once its eigenvalues are there.
NormalReplicates normalReplicateEigenvalues(int n, int p, int k, const std::function<void(int)>& progress,
                                            const std::function<void(int, bool)>& analysed);

}  // namespace talvex
