# Reference rotations for the rotation tests, computed with GPArotation.
# Run from this folder: Rscript rotation_reference.R > rotation_reference.txt
# Needs psych and GPArotation (tested with 2.2.9 and 2022.10.2). Every value
# is written with 17 significant digits; one record per line: a key, then
# whitespace-separated numbers.
library(psych)
library(GPArotation)
options(warn = 1)
set.seed(20261206)

num <- function(values) formatC(as.numeric(values), digits = 17, format = "g")

source("reference_sets.R")
harman8 <- as.matrix(Harman.8)
dimnames(harman8) <- NULL
sets <- list(
  list(name = "harman74", r = reference_sets$harman74$r, k = 4),
  list(name = "bfi25", r = reference_sets$bfi25$r, k = 5),
  list(name = "harman8", r = harman8, k = 2)
)

# Criteria, written out here from their definitions (not taken from the
# package), for the rotated matrix b (rows normalised by the unrotated row
# lengths when the rotation was normalised).
orthomax <- function(b, gamma) {
  b2 <- b^2
  sum(colSums(b2^2) - gamma / nrow(b) * colSums(b2)^2)
}
oblimin_f <- function(b, gamma) {
  b2 <- b^2
  c <- colSums(b2)
  cross <- t(b2) %*% b2
  sum(cross) - sum(diag(cross)) - gamma / nrow(b) * (sum(c)^2 - sum(c^2))
}
orthosim_f <- function(b) {
  q <- b^2
  cc <- t(q) %*% q
  d <- diag(1 / sqrt(diag(cc)))
  det(d %*% cc %*% d)
}

# The best of the identity start and 50 random orthogonal starts, by our
# own criterion (larger is better for orthomax and Orthosim, smaller for
# oblimin).
best_of <- function(run, crit, larger) {
  best <- NULL
  for (s in 0:50) {
    tm <- if (s == 0) diag(k) else Random.Start(k)
    res <- tryCatch(run(tm), error = function(e) NULL)
    if (is.null(res) || !isTRUE(res$convergence)) next
    f <- crit(res)
    if (is.null(best) || (larger && f > best$f + 1e-12) || (!larger && f < best$f - 1e-12))
      best <- list(res = res, f = f)
  }
  best
}

cat("# Produced by rotation_reference.R with R", as.character(getRversion()),
    "GPArotation", as.character(packageVersion("GPArotation")),
    "and psych", as.character(packageVersion("psych")), "\n")
cat("# input NAME p k L(row-major)   psych::fa(r, k, fm = 'uls', rotate = 'none') loadings\n")
cat("# rot NAME METHOD ARG NORM f P(row-major) Phi(row-major)\n")
cat("#   the best of 51 GPArotation runs (identity and 50 Random.Start), eps 1e-7, maxit 5000 (runs that do not converge are left out);\n")
cat("#   METHOD orthomax (gamma* = ARG; quartimax() for 0, Varimax() for 1, cfT(kappa =\n")
cat("#   ARG/p) otherwise), oblimin (oblimin(gam = ARG)), orthosim (bentlerT, ARG 0);\n")
cat("#   NORM 1 with Kaiser normalisation; f is the criterion of the rotated matrix with\n")
cat("#   rows divided by the unrotated row lengths when NORM is 1, computed in this\n")
cat("#   script from the criterion's definition (orthomax: sum_j[sum_i a^4 -\n")
cat("#   (gamma*/p)(sum_i a^2)^2]; oblimin: sum over j != k of [sum_i a_ij^2 a_ik^2 -\n")
cat("#   (gamma/p) c_j c_k]; orthosim: det of the cosine matrix of the squared columns)\n")

for (set in sets) {
  f <- suppressMessages(fa(set$r, nfactors = set$k, fm = "uls", rotate = "none"))
  L <- unclass(f$loadings)
  dimnames(L) <- NULL
  p <- nrow(L)
  k <- set$k
  h <- sqrt(rowSums(L^2))
  cat("input", set$name, p, k, num(t(L)), "\n")
  scaled <- function(res, norm) if (norm) res$loadings / h else res$loadings
  for (norm in c(FALSE, TRUE)) {
    for (gamma in c(0, 1, k / 2, 0.5)) {
      run <- function(tm) {
        if (gamma == 0) quartimax(L, Tmat = tm, normalize = norm, eps = 1e-7, maxit = 5000)
        else if (gamma == 1) Varimax(L, Tmat = tm, normalize = norm, eps = 1e-7, maxit = 5000)
        else cfT(L, Tmat = tm, kappa = gamma / p, normalize = norm, eps = 1e-7, maxit = 5000)
      }
      best <- best_of(run, function(res) orthomax(scaled(res, norm), gamma), TRUE)
      r <- best$res
      cat("rot", set$name, "orthomax", num(gamma), as.integer(norm), num(best$f),
          num(t(unclass(r$loadings))), num(diag(k)), "\n")
    }
    for (gamma in c(0, -0.5, 0.2)) {
      run <- function(tm) oblimin(L, Tmat = tm, gam = gamma, normalize = norm, eps = 1e-7,
                                  maxit = 5000)
      best <- best_of(run, function(res) oblimin_f(scaled(res, norm), gamma), FALSE)
      r <- best$res
      cat("rot", set$name, "oblimin", num(gamma), as.integer(norm), num(best$f),
          num(t(unclass(r$loadings))), num(t(r$Phi)), "\n")
    }
    run <- function(tm) bentlerT(L, Tmat = tm, normalize = norm, eps = 1e-7, maxit = 5000)
    best <- best_of(run, function(res) orthosim_f(scaled(res, norm)), TRUE)
    r <- best$res
    cat("rot", set$name, "orthosim 0", as.integer(norm), num(best$f),
        num(t(unclass(r$loadings))), num(diag(k)), "\n")
  }
}
