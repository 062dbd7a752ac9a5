# Reference values for the smoothing of non-positive-definite dispersion
# matrices (Devlin, Gnanadesikan & Kettenring, 1975, 1981): off-diagonal
# correlations move a step delta = 0.25/sqrt(N) toward 0 on Fisher's z scale
# per pass (set to 0 within tanh(delta)), until no eigenvalue is negative; a
# pass that lowers the smallest eigenvalue below its starting value is a
# failure. Written independently here with base R (atanh, tanh, eigen).
# A covariance matrix is smoothed in its correlation form and scaled back
# with its standard deviations; its correlation form may hold elements at or
# beyond +-1, which enter a pass at +-0.999999 (a choice of ours, so that
# every element reaches 0 in a bounded number of passes). Elements inside
# (-1, 1), however close to +-1, keep their own z.
# Run: Rscript smoothing_reference.R (from this folder); writes
# smoothing_reference.txt.

lmin <- function(x) min(eigen(x, symmetric = TRUE, only.values = TRUE)$values)

smooth_dgk <- function(s, n) {
  sd <- sqrt(diag(s))
  x <- s / outer(sd, sd)
  diag(x) <- 1
  delta <- 0.25 / sqrt(n)
  t <- tanh(delta)
  l0 <- lmin(x)
  passes <- 0
  if (l0 >= 0) return(list(ok = TRUE, passes = 0, result = s))
  repeat {
    p <- nrow(x)
    for (i in 1:(p - 1)) for (j in (i + 1):p) {
      r <- x[i, j]
      # elements at or beyond +-1 have no z: they enter the pass at +-0.999999
      z <- if (r >= 1) atanh(0.999999) else if (r <= -1) atanh(-0.999999) else atanh(r)
      v <- if (r < -t) tanh(z + delta) else if (abs(r) <= t) 0 else tanh(z - delta)
      x[i, j] <- v
      x[j, i] <- v
    }
    passes <- passes + 1
    l <- lmin(x)
    if (l < l0) return(list(ok = FALSE, passes = passes, result = NULL))
    if (l >= 0) break
  }
  out <- x * outer(sd, sd)
  diag(out) <- diag(s)
  list(ok = TRUE, passes = passes, result = out)
}

sym <- function(p, upper) {
  x <- diag(p)
  x[lower.tri(x)] <- upper
  x[upper.tri(x)] <- t(x)[upper.tri(x)]
  x
}

cases <- list(
  # one pass: 0.5 -> tanh(atanh(0.5) - 0.025), 0.02 -> 0
  list(name = "one_pass", n = 100, s = sym(4, c(0.5, 0.5, 0.02, -0.52, 0, 0))),
  list(name = "several_passes", n = 100, s = sym(3, c(0.8, 0.8, -0.6))),
  list(name = "covariance", n = 100,
       s = diag(c(2, 0.5, 3)) %*% sym(3, c(0.8, 0.8, -0.6)) %*% diag(c(2, 0.5, 3))),
  # the correlation form holds elements beyond 1 and the matrix is far from PSD
  list(name = "covariance_beyond_one", n = 400,
       s = matrix(c(4, 5, 1, 5, 4, 3, 1, 3, 9), 3, 3)),
  list(name = "positive_definite", n = 50, s = sym(3, c(0.3, 0.2, 0.1))),
  # a correlation closer to 1 than 0.999999 keeps its own z: one pass gives
  # tanh(atanh(0.9999999) - 0.25), the other two fall within tanh(0.25)
  list(name = "near_one", n = 1, s = sym(3, c(0.9999999, 0.2, -0.2))),
  # a pass with delta = 0.25 lowers the smallest eigenvalue
  list(name = "failure", n = 1, s = sym(3, c(0.3, 0.9, 0.9)))
)

con <- file("smoothing_reference.txt", "w")
writeLines(c(
  "# Smoothing references, written by smoothing_reference.R (base R, independent",
  "# implementation of the pass rule). Per case: 'case NAME N P', the P x P input,",
  "# then 'result ok PASSES' with the P x P result or 'result fail PASSES'."), con)
for (k in cases) {
  res <- smooth_dgk(k$s, k$n)
  p <- nrow(k$s)
  writeLines(sprintf("case %s %d %d", k$name, k$n, p), con)
  for (i in 1:p) writeLines(paste(sprintf("%.17g", k$s[i, ]), collapse = " "), con)
  if (res$ok) {
    writeLines(sprintf("result ok %d", res$passes), con)
    for (i in 1:p) writeLines(paste(sprintf("%.17g", res$result[i, ]), collapse = " "), con)
  } else {
    writeLines(sprintf("result fail %d", res$passes), con)
  }
}
close(con)
