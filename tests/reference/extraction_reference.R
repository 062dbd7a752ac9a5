# Reference values for the extraction, fit and residual tests.
# Run from this folder: Rscript extraction_reference.R > extraction_reference.txt
# Needs psych (tested with 2.2.9). Every value is written with 17 significant
# digits; one record per line: a key, then whitespace-separated numbers.
library(psych)
options(warn = 1)

out <- function(key, values) {
  cat(key, formatC(as.numeric(values), digits = 17, format = "g"), "\n")
}

source("reference_sets.R")
sets <- reference_sets

cat("# Produced by extraction_reference.R with R", as.character(getRversion()),
    "and psych", as.character(packageVersion("psych")), "\n")
cat("# matrix NAME p N R(row-major)   the analysed correlation matrix (cor(), divisor cancels)\n")
cat("# eigen NAME values              eigen(R)$values, decreasing\n")
cat("# uls|minres NAME k h2           psych::fa(r, k, fm, rotate = 'none') communalities\n")
cat("# ulsfit NAME k LLt(lower, by columns)  fa(fm = 'uls') L L' below the diagonal\n")
cat("# ulschi NAME k chi              (ln det S - ln det R)(N - 1), S = LL' with unit diagonal,\n")
cat("#                                from fa(fm = 'uls') loadings; 0 if negative\n")
cat("# pca NAME k loadings(row-major) psych::principal(r, k, rotate = 'none') loadings\n")
cat("# ml NAME k loadings(row-major)  psych::fa(fm = 'ml', rotate = 'none') loadings\n")
cat("# mlfit NAME k chi2 df pchi2 chi0 cfi nnfi rmsea ncp papprox gfi agfi gfind agfind rmsr\n")
cat("#   chi2 = psych STATISTIC (Bartlett-corrected ML chi-square, same formula as ours);\n")
cat("#   df = psych dof; pchi2 = pchisq(upper); chi0 = psych null.chisq (same formula for a\n")
cat("#   correlation matrix). psych's TLI and RMSEA use other conventions (1/N terms, n.obs in\n")
cat("#   the RMSEA), so cfi, nnfi, rmsea, ncp and the approximate-fit P are computed here in\n")
cat("#   base R from chi2, chi0, df, df0 and N with the formulas of our fit section;\n")
cat("#   gfi/agfi (with and without the diagonal) are base R sums of squares of the fitted\n")
cat("#   matrix (LL' off the diagonal, diag(R) on it); rmsr = psych rms.\n")
cat("# heywood1 R(row-major 4x4) loadings   one factor, bounded optim (L-BFGS-B) of the\n")
cat("#   off-diagonal least-squares loss with |l_i| <= sqrt(R_ii)\n")
cat("# heywood1cov  the same for a covariance matrix D R D\n")
cat("# heywood2 R(row-major 6x6) LLt(row-major)  two factors, row 1 held on the unit circle\n")
cat("#   (angle parameter), other rows free; BFGS; compare L L' (rotation invariant)\n")

for (name in names(sets)) {
  r <- sets[[name]]$r
  n <- sets[[name]]$n
  p <- ncol(r)
  dimnames(r) <- NULL
  cat("matrix", name, p, n, formatC(as.numeric(t(r)), digits = 17, format = "g"), "\n")
  out(paste("eigen", name), eigen(r, symmetric = TRUE)$values)
  for (k in 1:5) {
    for (fm in c("uls", "minres")) {
      f <- suppressMessages(fa(r, nfactors = k, fm = fm, rotate = "none", n.obs = n))
      out(paste(fm, name, k), f$communality)
      if (fm == "uls") {
        l <- unclass(f$loadings)
        llt <- l %*% t(l)
        out(paste("ulsfit", name, k), llt[lower.tri(llt)])
        s <- llt
        diag(s) <- 1
        chi <- (log(det(s)) - log(det(r))) * (n - 1)
        out(paste("ulschi", name, k), max(chi, 0))
      }
    }
    pc <- principal(r, nfactors = k, rotate = "none")
    out(paste("pca", name, k), t(unclass(pc$loadings)))
  }
  if (name == "harman74") {
    for (k in 2:4) {
      f <- suppressMessages(fa(r, nfactors = k, fm = "ml", rotate = "none", n.obs = n))
      l <- unclass(f$loadings)
      out(paste("ml", name, k), t(l))
      sigma <- l %*% t(l)
      diag(sigma) <- diag(r)
      df <- f$dof
      df0 <- p * (p - 1) / 2
      chi2 <- f$STATISTIC
      chi0 <- f$null.chisq
      cfi <- abs(((chi0 - df0) - (chi2 - df)) / (chi0 - df0))
      nnfi <- (chi0 / df0 - chi2 / df) / (chi0 / df0 - 1)
      rad <- (chi2 / (n - 1) - df / (n - 1)) / df
      rmsea <- if (rad < 0) 0 else sqrt(rad)
      lambda <- 0.0025 * df * (n - 1)
      z <- sqrt(2 * chi2 * (df + lambda) / (df + 2 * lambda)) -
        sqrt(2 * (df + lambda)^2 / (df + 2 * lambda) - 1)
      kk <- p * (p - 1) / (2 * df)
      gfi <- sum(sigma^2) / sum(r^2)
      low <- lower.tri(r)
      gfind <- sum(sigma[low]^2) / sum(r[low]^2)
      out(paste("mlfit", name, k),
          c(chi2, df, pchisq(chi2, df, lower.tail = FALSE), chi0, cfi, nnfi, rmsea, lambda,
            1 - pnorm(z), gfi, 1 - (1 - gfi) * kk, gfind, 1 - (1 - gfind) * kk, f$rms))
    }
  }
}

# Heywood cases.
loss <- function(r, l) { e <- r - l %*% t(l); diag(e) <- 0; sum(e^2) }
r4 <- matrix(c(1, .85, .8, .8,
               .85, 1, .6, .55,
               .8, .6, 1, .5,
               .8, .55, .5, 1), 4, 4)
one <- function(r) {
  bound <- sqrt(diag(r))
  fit <- optim(rep(0.7, 4) * bound, function(l) loss(r, matrix(l, ncol = 1)),
               method = "L-BFGS-B", lower = -bound, upper = bound,
               control = list(factr = 1, pgtol = 0, maxit = 10000))
  fit$par
}
out("heywood1", c(t(r4), one(r4)))
d <- diag(c(1.5, 1, 0.8, 1.2))
c4 <- d %*% r4 %*% d
out("heywood1cov", c(t(c4), one(c4)))

l6 <- matrix(c(.9, .6, .8, .1, .7, .2, .1, .8, .2, .7, .1, .6), 6, 2, byrow = TRUE)
r6 <- l6 %*% t(l6)
diag(r6) <- 1
two <- function(par) {
  l <- rbind(c(cos(par[1]), sin(par[1])), matrix(par[-1], 5, 2))
  loss(r6, l)
}
best <- NULL
for (start in c(0.3, 0.6, 1.0)) {
  fit <- optim(c(start, as.numeric(l6[-1, ])), two, method = "BFGS",
               control = list(reltol = 1e-16, maxit = 100000))
  if (is.null(best) || fit$value < best$value) best <- fit
}
lb <- rbind(c(cos(best$par[1]), sin(best$par[1])), matrix(best$par[-1], 5, 2))
out("heywood2", c(t(r6), t(lb %*% t(lb))))
