#include "stats/extraction/repeated_extraction.h"

#include "stats/extraction/ml.h"
#include "stats/extraction/mrfa.h"
#include "stats/extraction/uls_pca.h"

namespace talvex {

RepeatedExtraction extractRepeated(const Matrix& d, int factors, ExtractionMethod method, double n) {
    RepeatedExtraction out;
    switch (method) {
        case PCA:
            out.loadings = extractPca(d, factors).loadings;
            break;
        case ML: {
            const MlSolution ml = extractMl(d, factors);
            if (ml.converged()) out.loadings = ml.loadings;
            break;
        }
        case MRFA: {
            const MrfaSolution mrfa = extractMrfa(d, factors, kRepeatedMrfaStarts);
            if (mrfa.converged()) {
                out.loadings = mrfa.loadings;
                out.common = mrfa.reduced;
            }
            break;
        }
        case ULS:
            out.loadings = extractUls(d, factors, 1e-8, n).loadings;
            break;
    }
    if (!out.loadings.valid()) return out;
    if (factors == 1) out.loadings = reflectSingleFactor(out.loadings);
    if (!out.common.valid()) out.common = out.loadings.multiply(out.loadings.transpose());
    return out;
}

}  // namespace talvex
