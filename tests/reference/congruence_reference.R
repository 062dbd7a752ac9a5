# Tucker's congruence between a rotated loading matrix and a user target,
# the reference values of tests/stats/rotation/target_report_test.cpp.
# Needs r-base-core and r-cran-psych (Debian).
# Run: Rscript tests/reference/congruence_reference.R
library(psych)
tuck <- function(x, y) sum(x * y) / sqrt(sum(x^2) * sum(y^2))
report <- function(A, Tg) {
  Tc <- pmin(pmax(Tg, -1), 1)  # free cells (±9) count as ±1
  f <- sapply(seq_len(ncol(A)), function(j) tuck(A[, j], Tc[, j]))
  A <- A %*% diag(ifelse(f < 0, -1, 1))
  cat("factors  ", format(sapply(seq_len(ncol(A)), function(j) tuck(A[, j], Tc[, j])), digits = 15), "\n")
  print(factor.congruence(A, Tc, digits = 10))  # the diagonal agrees
  rows <- sapply(seq_len(nrow(A)), function(i) if (sum(Tc[i, ]^2) == 0) NA else tuck(A[i, ], Tc[i, ]))
  cat("variables", format(rows, digits = 15), "\n")
  cat("overall  ", format(tuck(A, Tc), digits = 15), "\n\n")
}
report(matrix(c(0.71, 0.65, -0.05, 0.12, 0.40, -0.60, 0.08, 0.55, 0.70, -0.30), 5, 2),
       matrix(c(9, 9, 0, 0, 0.2, 0, 0, -9, -9, 0), 5, 2))
report(matrix(c(0.6, 0.5, 0.2, 0.3, -0.1, 0.7), 3, 2),
       matrix(c(0.7, 0, 0.1, 0, 0, 1), 3, 2))
