# Reference values for classical parallel analysis (principal components of
# Pearson correlations, random normal samples of the same size):
#   psych::fa.parallel(R, n.obs = N, fa = "pc", n.iter = 500) on the
#   Harman74 matrix (N = 145, 24 variables) and the Pearson matrix of
#   bfi25.dat (N = 2436, 25 variables). From the 500 replicates kept in
#   $values (the columns C1 .. CP) the mean, standard deviation and 95th
#   percentile of each random eigenvalue are written, with the real
#   eigenvalues and psych's advised number of components (ncomp).
# The random numbers differ from ours, so the means agree only within
# sampling error: the tests allow 4 standard errors of the difference of two
# means of K replicates each.
# Packages: r-base-core, r-cran-psych (Debian). Run: Rscript
# parallel_analysis_reference.R (from this folder); writes
# parallel_analysis_reference.txt.
library(psych)
set.seed(20261207)
source("reference_sets.R")

k <- 500
con <- file("parallel_analysis_reference.txt", "w")
writeLines(c(
  "# Classical parallel analysis references, written by parallel_analysis_reference.R.",
  "# Per matrix: 'NAME N P K NCOMP', then rows 'real', 'mean', 'sd', 'q95' with P values each",
  "# (psych::fa.parallel, fa = \"pc\", n.iter = K, random normal samples)."), con)
for (s in reference_sets) {
  pa <- fa.parallel(s$r, n.obs = s$n, fa = "pc", n.iter = k, plot = FALSE)
  sim <- pa$values[, grep("^C[0-9]+$", colnames(pa$values)), drop = FALSE]
  p <- nrow(s$r)
  writeLines(sprintf("%s %d %d %d %d", s$name, s$n, p, k, pa$ncomp), con)
  writeLines(paste("real", paste(sprintf("%.10g", eigen(s$r)$values), collapse = " ")), con)
  writeLines(paste("mean", paste(sprintf("%.10g", colMeans(sim)), collapse = " ")), con)
  writeLines(paste("sd", paste(sprintf("%.10g", apply(sim, 2, sd)), collapse = " ")), con)
  writeLines(paste("q95", paste(sprintf("%.10g", apply(sim, 2, quantile, 0.95, type = 1)),
                                collapse = " ")), con)
}
close(con)
