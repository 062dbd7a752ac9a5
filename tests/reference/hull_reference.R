# Reference values for the Hull method for selecting the number of common
# factors, written from its published description (goodness-of-fit curve,
# upper convex hull, scree test values), with psych only for the
# extractions and the KMO index.
#   fits   - k = 0..K factors. Loadings by psych::fa(rotate = "none"):
#            fm = "minres" for ULS (the same least-squares loss) and
#            fm = "ml" for ML; the fitted matrix is A A'.
#            CAF   = 1 - psych::KMO(E)$MSA, E = R - A A' with unit diagonal;
#                    1 - KMO(R) for k = 0.
#            CFI   = |((chi0 - df0) - (chi2 - df)) / (chi0 - df0)| with
#                    F = tr(R S^-1) + ln|S| - ln|R| - p (S = A A' with unit
#                    diagonal), chi2 = F((N - 1) - (2p + 5)/6 - 2k/3),
#                    chi0 = -ln|R|((N - 1) - (2p + 5)/6),
#                    df = (p - k + 1)(p - k)/2 - p, df0 = p(p - 1)/2; 0 for k = 0.
#            RMSEA = sqrt(max(0, (chi2 - df)/(df (N - 1)))), 0 when df <= 0;
#                    F0 = tr(R) - ln|R| - p for k = 0. The fit is 1 - RMSEA.
#            Free parameters: p for k = 0, (k + 1)p - (k - 1)k/2 otherwise.
#   bound  - the number of eigenvalues of R above the mean eigenvalues of
#            500 Pearson matrices of N x p rnorm() samples; the means and
#            their standard errors are written too.
#   K      - k grows until k > bound with the largest fit so far (fit of k
#            included), or k = p - 1.
#   hull   - points whose fit rises over the last one kept; then the first
#            interior point not strictly above the line joining its
#            neighbours is dropped, again and again; scree values
#            st_i = slope(i-1, i) / slope(i, i+1) on hull neighbours, 0 at
#            both ends; advised = k of the largest positive st (else 1).
# Run: Rscript hull_reference.R (from this folder); writes hull_reference.txt.
library(psych)
set.seed(20111)

source("reference_sets.R")

fit_point <- function(r, n, k, index, fm) {
  p <- nrow(r)
  if (k == 0) {
    if (index == "CAF") return(1 - KMO(r)$MSA)
    if (index == "CFI") return(0)
    f0 <- sum(diag(r)) - log(det(r)) - p
    return(1 - rmsea(f0, n, p, 0))
  }
  a <- unclass(fa(r, nfactors = k, rotate = "none", fm = fm, n.obs = n, warnings = FALSE)$loadings)
  s <- a %*% t(a)
  if (index == "CAF") {
    e <- r - s
    diag(e) <- 1
    return(1 - KMO(e)$MSA)
  }
  diag(s) <- diag(r)
  f <- sum(diag(r %*% solve(s))) + log(abs(det(s))) - log(abs(det(r))) - p
  if (index == "RMSEA") return(1 - rmsea(f, n, p, k))
  chi2 <- f * ((n - 1) - (2 * p + 5) / 6 - 2 * k / 3)
  chi0 <- -log(det(r)) * ((n - 1) - (2 * p + 5) / 6)
  df <- (p - k + 1) * (p - k) / 2 - p
  df0 <- p * (p - 1) / 2
  abs(((chi0 - df0) - (chi2 - df)) / (chi0 - df0))
}

rmsea <- function(f, n, p, k) {
  chi2 <- f * ((n - 1) - (2 * p + 5) / 6 - 2 * k / 3)
  df <- (p - k + 1) * (p - k) / 2 - p
  if (df <= 0) return(0)
  sqrt(max(0, (chi2 / (n - 1) - df / (n - 1)) / df))
}

parameters <- function(p, k) if (k == 0) p else (k + 1) * p - ((k - 1) * k) %/% 2

random_means <- function(n, p, samples = 500) {
  values <- replicate(samples, eigen(cor(matrix(rnorm(n * p), n, p)), symmetric = TRUE,
                                     only.values = TRUE)$values)
  list(mean = rowMeans(values), se = apply(values, 1, sd) / sqrt(samples))
}

curve <- function(r, n, index, fm, bound) {
  p <- nrow(r)
  fits <- fit_point(r, n, 0, index, fm)
  k <- 0
  repeat {
    k <- k + 1
    fits <- c(fits, fit_point(r, n, k, index, fm))
    if ((k > bound && fits[k + 1] >= max(fits)) || k >= p - 1) break
  }
  data.frame(k = 0:k, fit = fits, par = sapply(0:k, function(j) parameters(p, j)))
}

above <- function(f1, f2, f3, g1, g2, g3) f2 > f1 + (f3 - f1) * (g2 - g1) / (g3 - g1)

hull <- function(pts) {
  keep <- 1
  for (i in seq_len(nrow(pts))[-1]) if (pts$fit[i] > pts$fit[keep[length(keep)]]) keep <- c(keep, i)
  h <- pts[keep, ]
  repeat {
    gone <- FALSE
    j <- 2
    while (j < nrow(h)) {
      if (!above(h$fit[j - 1], h$fit[j], h$fit[j + 1], h$par[j - 1], h$par[j], h$par[j + 1])) {
        h <- h[-j, ]
        gone <- TRUE
        break
      }
      j <- j + 1
    }
    if (!gone) break
  }
  st <- rep(0, nrow(h))
  if (nrow(h) >= 3)
    for (i in 2:(nrow(h) - 1))
      st[i] <- ((h$fit[i] - h$fit[i - 1]) / (h$par[i] - h$par[i - 1])) /
               ((h$fit[i + 1] - h$fit[i]) / (h$par[i + 1] - h$par[i]))
  best <- which(st > 0 & st == max(st))
  advised <- if (length(best) == 0) 1 else max(1, h$k[best[1]])
  list(h = h, st = st, advised = advised)
}

num <- function(x) paste(sprintf("%.17g", x), collapse = " ")

con <- file("hull_reference.txt", "w")
writeLines(c(
  "# Hull references, written by hull_reference.R. Per matrix: 'matrix NAME N P BOUND',",
  "# 'means' and 'se' of the random eigenvalues, then per curve 'curve METHOD INDEX K'",
  "# with 'fits' for k = 0..K, 'hullk' (k of the hull points), 'scree' and 'advised'."), con)
for (s in reference_sets) {
  p <- nrow(s$r)
  rnd <- random_means(s$n, p)
  real <- eigen(s$r, symmetric = TRUE, only.values = TRUE)$values
  bound <- sum(real > rnd$mean)
  writeLines(sprintf("matrix %s %d %d %d", s$name, s$n, p, bound), con)
  writeLines(paste("means", num(rnd$mean)), con)
  writeLines(paste("se", num(rnd$se)), con)
  for (method in c("ULS", "ML")) {
    fm <- if (method == "ULS") "minres" else "ml"
    for (index in c("CAF", "CFI", "RMSEA")) {
      pts <- curve(s$r, s$n, index, fm, bound)
      h <- hull(pts)
      writeLines(sprintf("curve %s %s %d", method, index, max(pts$k)), con)
      writeLines(paste("fits", num(pts$fit)), con)
      writeLines(paste("hullk", paste(h$h$k, collapse = " ")), con)
      writeLines(paste("scree", num(h$st)), con)
      writeLines(sprintf("advised %d", h$advised), con)
    }
  }
}
close(con)
