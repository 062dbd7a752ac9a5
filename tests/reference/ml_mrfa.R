# Reference values for the maximum likelihood and minimum rank factor tests.
# Run from this folder: Rscript ml_mrfa.R > ml_mrfa_reference.txt
# Needs base R (stats::factanal) and psych (tested with R 4.2.2, psych 2.2.9).
# One record per line: KIND NAME K, then whitespace-separated numbers with 17
# significant digits.
library(psych)
options(warn = 1)

out <- function(kind, name, k, values) {
  cat(kind, name, k, formatC(as.numeric(values), digits = 17, format = "g"), "\n")
}

source("reference_sets.R")

# ability.cov: a covariance matrix (6 tests, N = 112). thurstonesmall: the
# Thurstone correlations as the covariances of scores multiplied by 0.03 (the
# uniquenesses scale with the variances, the fit does not change).
ability <- datasets::ability.cov$cov
sets <- list(
  harman74 = list(r = reference_sets$harman74$r, n = 145, ml = 1:3, mrfa = c(1, 3)),
  ability = list(r = ability, n = 112, ml = 1:2, mrfa = 1:2),
  thurstone = list(r = as.matrix(psych::Thurstone), n = 213, ml = 1:3, mrfa = 1:3),
  thurstonesmall = list(r = as.matrix(psych::Thurstone) * 0.03^2, n = 213, ml = 3, mrfa = integer(0))
)

cat("# Produced by ml_mrfa.R with R", as.character(getRversion()),
    "and psych", as.character(packageVersion("psych")), "\n")
cat("# matrix NAME 0 p N R(row-major)\n")
cat("# mlpsi NAME K uniquenesses psi2_i = factanal uniquenesses * R(i,i)\n")
cat("#   factanal(covmat, K, n.obs, control = list(opt = list(factr = 1, maxit = 10000)))\n")
cat("# mlfit NAME K F chi2 df p    factanal objective, STATISTIC, dof, PVAL\n")
cat("# mrfabound NAME K uls fmin   feasible values of the unexplained common variance:\n")
cat("#   uls: psych::fa(fm = 'uls') communalities raised by -min(0, smallest eigenvalue)\n")
cat("#   of the reduced matrix; fmin: optim (Nelder-Mead, then BFGS) of that shifted\n")
cat("#   sum of the p - K smallest eigenvalues over communalities between 0 and R(i,i)\n")
cat("#   (also after the shift, by a penalty),\n")
cat("#   from the uls point (the uls value when the optimum leaves those bounds)\n")

for (name in names(sets)) {
  set <- sets[[name]]
  r <- set$r
  p <- nrow(r)
  out("matrix", name, 0, c(p, set$n, t(r)))
  for (k in set$ml) {
    fa <- factanal(covmat = r, factors = k, n.obs = set$n,
                   control = list(opt = list(factr = 1, maxit = 10000)))
    out("mlpsi", name, k, fa$uniquenesses * diag(r))
    out("mlfit", name, k, c(fa$criteria[["objective"]], fa$STATISTIC, fa$dof, fa$PVAL))
  }
  for (k in set$mrfa) {
    shifted <- function(h) {
      m <- r
      diag(m) <- h
      e <- eigen(m, symmetric = TRUE, only.values = TRUE)$values
      low <- min(0, e[p])
      sum(e[(k + 1):p] - low)
    }
    h <- fa(r, k, fm = "uls", rotate = "none", covar = TRUE)$communality
    uls <- shifted(h)
    # Communalities between 0 and the variances: h = R(i,i) plogis(z).
    # A penalty keeps the shifted communalities within the variances too.
    bounded <- function(z) {
      hz <- diag(r) * plogis(z)
      m <- r
      diag(m) <- hz
      low <- min(0, eigen(m, symmetric = TRUE, only.values = TRUE)$values[p])
      shifted(hz) + 1e3 * sum(pmax(0, hz - low - diag(r)))
    }
    z <- qlogis(pmin(pmax(h / diag(r), 1e-6), 1 - 1e-6))
    fit <- optim(z, bounded, method = "Nelder-Mead", control = list(maxit = 20000, reltol = 1e-12))
    fit <- optim(fit$par, bounded, method = "BFGS", control = list(maxit = 2000, reltol = 1e-14))
    hmin <- diag(r) * plogis(fit$par)
    m <- r
    diag(m) <- hmin
    low <- min(0, eigen(m, symmetric = TRUE, only.values = TRUE)$values[p])
    # Only a point whose shifted communalities stay within the variances.
    fmin <- if (all(hmin - low <= diag(r))) fit$value else uls
    out("mrfabound", name, k, c(uls, min(uls, fmin)))
  }
}
