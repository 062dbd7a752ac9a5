# The same computations as scenario.session, in R's psych, timed as one run:
# Mardia's tests, Pearson correlations, KMO, Bartlett's test, Velicer's MAP
# test and ULS extraction of 8 factors. MAP is computed as the program does
# (average squared partial correlation after 0 .. p - 1 principal
# components, from one eigendecomposition), not through psych's VSS, which
# also fits a factor model for every number of factors.
# Usage: Rscript psych_timing.R large.dat
suppressPackageStartupMessages(library(psych))
args <- commandArgs(trailingOnly = TRUE)
map_test <- function(r) {
  p <- ncol(r)
  e <- eigen(r, symmetric = TRUE)
  loadings <- e$vectors %*% diag(sqrt(pmax(e$values, 0)))
  average <- function(residual) {
    d <- 1 / sqrt(diag(residual))
    partial <- residual * outer(d, d)
    (sum(partial^2) - sum(diag(partial)^2)) / (p * (p - 1))
  }
  c(average(r), vapply(seq_len(p - 1), function(m) {
    a <- loadings[, seq_len(m), drop = FALSE]
    average(r - tcrossprod(a))
  }, numeric(1)))
}
start <- proc.time()
x <- as.matrix(read.table(args[1]))
m <- mardia(x, plot = FALSE)
r <- cor(x)
k <- KMO(r)
b <- cortest.bartlett(r, n = nrow(x))
v <- map_test(r)
f <- fa(r, nfactors = 8, fm = "uls", rotate = "none", n.obs = nrow(x))
elapsed <- (proc.time() - start)[["elapsed"]]
cat(sprintf("R psych elapsed seconds: %.2f (MAP advises %d)\n", elapsed, which.min(v) - 1))
