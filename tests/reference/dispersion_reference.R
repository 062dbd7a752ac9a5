# Reference values for the descriptives, the Pearson and covariance matrices
# and Mardia's tests, computed with base R and psych.
#   dispersion_normal.dat        - 150 draws of a 4-variate normal (seed 20240611),
#                                  rounded to 3 decimals, one participant per line.
#   dispersion_reference.txt     - the fixture the tests read.
# Run: Rscript dispersion_reference.R (from this folder).
#
# Conventions of the fixture (they differ from R's defaults on purpose):
#   sd        divisor N: sd(x) * sqrt((N - 1) / N)
#   skew      sum((x - mean)^3) / (N - 1) / sdN^3
#   kurt      sum((x - mean)^4) / (N - 1) / sdN^4 - 3
#   cov       cov(x) * (N - 1) / N
#   mardia    psych::mardia; its kurtosis P is two-sided, the fixture halves it
#             (one-sided); its df is not truncated (it is an integer here anyway).
#   mardiaP   the two skewness P values by the program's chi-square rule rather
#             than the exact tail: for 3 <= df <= 21 a 199-term rectangle sum of
#             the density with step 0.005x (0 when x > 4df), above 21 the
#             Wilson-Hilferty normal approximation with the normal probability
#             clamped to [0.00001, 0.99999]. Base R gamma() and pnorm() stand in
#             for the program's own approximations of them.
library(psych)

set.seed(20240611)
sigma <- matrix(c(1.0, 0.5, 0.3, 0.2,
                  0.5, 1.0, 0.4, 0.1,
                  0.3, 0.4, 1.0, 0.3,
                  0.2, 0.1, 0.3, 1.0), 4, 4)
z <- matrix(rnorm(150 * 4), 150, 4) %*% chol(sigma)
z <- round(z, 3)
write.table(format(z, nsmall = 3, trim = TRUE), "dispersion_normal.dat",
            row.names = FALSE, col.names = FALSE, quote = FALSE)

out <- "dispersion_reference.txt"
cat("# Produced by dispersion_reference.R (base R and psych ", as.character(packageVersion("psych")),
    "); see that script for the conventions.\n", file = out, sep = "")

emit <- function(name, values) {
  cat(name, sprintf("%.15g", values), "\n", file = out, append = TRUE)
}

chiSquareRule <- function(x, k) {
  if (k >= 3 && k <= 21) {
    if (x > 4 * k) return(0)
    h <- 0.005 * x
    t <- (0:198) * h
    s <- sum((t / 2)^(k / 2 - 1) * exp(-t / 2)) / (2 * gamma(k / 2))
    return(max(0, 1 - s * h))
  }
  stopifnot(k > 21)
  v <- 2 / (9 * k)
  z <- ((x / k)^(1 / 3) - (1 - v)) / sqrt(v)
  1 - min(max(pnorm(z), 0.00001), 0.99999)
}

describeSet <- function(tag, x) {
  x <- as.matrix(x)
  n <- nrow(x)
  p <- ncol(x)
  m <- colMeans(x)
  sdN <- apply(x, 2, sd) * sqrt((n - 1) / n)
  d <- sweep(x, 2, m)
  skew <- colSums(d^3) / (n - 1) / sdN^3
  kurt <- colSums(d^4) / (n - 1) / sdN^4 - 3
  cat("set", tag, n, p, "\n", file = out, append = TRUE)
  emit("mean", m)
  emit("sd", sdN)
  emit("skew", skew)
  emit("kurt", kurt)
  r <- cor(x)
  s <- cov(x) * (n - 1) / n
  for (i in 1:p) emit("cor", r[i, ])
  for (i in 1:p) emit("cov", s[i, ])
  md <- psych::mardia(x, plot = FALSE)
  df <- p * (p + 1) * (p + 2) / 6
  emit("mardia", c(md$b1p, md$skew, df, md$p.skew, md$small.skew, md$p.small,
                   md$b2p, md$kurtosis, md$p.kurt / 2))
  emit("mardiaP", c(chiSquareRule(md$skew, df), chiSquareRule(md$small.skew, df)))
}

describeSet("bfi25", read.table("bfi25.dat"))
describeSet("normal", read.table("dispersion_normal.dat"))
