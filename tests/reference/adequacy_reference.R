# Reference values for the adequacy of a correlation matrix, from psych and
# base R:
#   det         - base::det
#   bartlett    - psych::cortest.bartlett(R, n): chisq = -(n - 1 - (2p + 5)/6) ln|R|,
#                 df = p(p - 1)/2, p.value upper tail; the same formula as ours.
#   kmo         - psych::KMO(R)$MSA, sum r^2 / (sum r^2 + sum q^2) over the
#                 off-diagonal elements; ours adds 0.000001 to the denominator,
#                 a relative difference below 1e-7 for these matrices.
# bfi25: Pearson correlations of tests/reference/bfi25.dat (cor() is free of
# the N versus N - 1 divisor), N = 2436. harman74: the matrix as stored, N = 145.
# Run: Rscript adequacy_reference.R (from this folder); writes
# adequacy_reference.txt.
library(psych)

source("reference_sets.R")
sets <- reference_sets

con <- file("adequacy_reference.txt", "w")
writeLines(c(
  "# Adequacy references, written by adequacy_reference.R (psych::KMO,",
  "# psych::cortest.bartlett, base::det). One line per matrix:",
  "# NAME N determinant bartlett_chisq df p_value kmo"), con)
for (s in sets) {
  b <- cortest.bartlett(s$r, n = s$n)
  k <- KMO(s$r)$MSA
  writeLines(sprintf("%s %d %.17g %.17g %d %.17g %.17g", s$name, s$n, det(s$r),
                     b$chisq, as.integer(b$df), b$p.value, k), con)
}
close(con)
