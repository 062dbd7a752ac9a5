# Reference second-order and Schmid-Leiman solutions for the second-order
# tests, computed with psych (tested with psych 2.2.9).
# Run from this folder: Rscript schmid_leiman_reference.R > schmid_leiman_reference.txt
# Each case: an oblimin pattern P and its factor correlations Phi from
# psych::fa (minres) (a constructed Phi for the two-factor case), then
#   g = 1: psych::schmid(P, nfactors = m, Phi = Phi, fm = "minres"), whose
#          second-order loadings come from fa(Phi, 1, fm = "minres");
#   g = 2: fa(Phi, 2, fm = "minres") with stats::varimax (normalised) for the
#          second-order loadings B, and P %*% B, P %*% diag(sqrt(1 - rowSums(B^2))).
# One record per line: a key, the case, rows, columns, then the numbers row
# by row with 17 significant digits. Keys: pattern, phi, second (B),
# general (P B), residualized (P U).
library(psych)
options(warn = 1)
num <- function(values) formatC(as.numeric(values), digits = 17, format = "g")
record <- function(key, name, x) {
  x <- as.matrix(x)
  cat(key, name, nrow(x), ncol(x), num(t(x)), "\n")
}

source("reference_sets.R")
# Two second-order factors of six first-order factors, away from any
# Heywood case (the obliminal solutions of bfi25 and Harman74 put one
# first-order factor at a communality near 1): B Bt plus small symmetric
# disturbances off the diagonal, with the Harman74 six-factor pattern.
constructed_phi <- function() {
  b <- matrix(c(0.7, 0.1, 0.6, 0.2, 0.5, 0.0, 0.1, 0.6, 0.2, 0.7, 0.0, 0.5), ncol = 2,
              byrow = TRUE)
  phi <- b %*% t(b)
  disturbance <- matrix(0, 6, 6)
  disturbance[upper.tri(disturbance)] <- c(0.02, -0.03, 0.01, 0.02, -0.01, 0.03, 0.00,
                                           -0.02, 0.01, 0.02, -0.01, 0.03, 0.02, -0.02, 0.01)
  phi <- phi + disturbance + t(disturbance)
  diag(phi) <- 1
  phi
}
cases <- list(
  list(name = "bfi25_g1", set = reference_sets$bfi25, m = 5, g = 1),
  list(name = "harman74_g1", set = reference_sets$harman74, m = 4, g = 1),
  list(name = "constructed_g2", set = reference_sets$harman74, m = 6, g = 2,
       phi = constructed_phi())
)
for (case in cases) {
  f <- fa(case$set$r, nfactors = case$m, fm = "minres", rotate = "oblimin",
          n.obs = case$set$n)
  p <- unclass(f$loadings)
  phi <- if (is.null(case$phi)) f$Phi else case$phi
  dimnames(p) <- NULL
  dimnames(phi) <- NULL
  record("pattern", case$name, p)
  record("phi", case$name, phi)
  if (case$g == 1) {
    s <- schmid(p, nfactors = case$m, Phi = phi, fm = "minres")
    b <- unclass(s$gloading)
    sl <- unclass(s$sl)
    general <- sl[, 1, drop = FALSE]
    residualized <- sl[, 1 + seq_len(case$m)]
  } else {
    # fa(rotate = "varimax") stops its Varimax early (loadings off by 0.004);
    # stats::varimax is run to convergence on the unrotated minres loadings.
    second <- fa(phi, nfactors = case$g, fm = "minres", rotate = "none")
    b <- unclass(varimax(unclass(second$loadings), normalize = TRUE, eps = 1e-12)$loadings)
    general <- p %*% b
    residualized <- p %*% diag(sqrt(pmax(0, 1 - rowSums(b^2))))
  }
  dimnames(b) <- NULL
  record("second", case$name, b)
  record("general", case$name, general)
  record("residualized", case$name, residualized)
}
