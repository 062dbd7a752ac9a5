# Reference values for tests/core/distributions_test.cpp and random_test.cpp.
# Run with: Rscript tests/reference/core_distributions.R
# Needs base R and the mvtnorm package (bivariate normal orthant probabilities
# by Miwa's algorithm, accurate to about 1e-10 with 4096 steps).
suppressMessages(library(mvtnorm))
f <- function(x) formatC(x, digits = 15, format = "g")

cat("# Bivariate upper tails P(X > h, Y > k), correlation rho\n")
cases <- rbind(c(1, 2, 0.5), c(0.5, -0.3, 0.4), c(-1, -0.5, -0.6), c(1.2, 0.3, 0.7),
               c(0.3, 1.5, -0.2), c(0, 1, 0.5), c(1, 0, -0.5), c(2, -1, 0.3),
               c(-0.7, 0.2, 0.9), c(-1.5, -1.5, 0.95), c(0.8, 0.8, -0.9), c(2.5, 0.1, 0.3),
               c(1, 0.2, -0.6), c(0.5, 0.1, -0.6))
for (i in seq_len(nrow(cases))) {
  x <- cases[i, ]
  p <- pmvnorm(lower = x[1:2], upper = c(Inf, Inf),
               corr = matrix(c(1, x[3], x[3], 1), 2), algorithm = Miwa(steps = 4096))
  cat(sprintf("{%g, %g, %g, %s},\n", x[1], x[2], x[3], f(p[1])))
}

cat("# Bivariate normal density\n")
cat(f(dmvnorm(c(0.4, -1.1), sigma = matrix(c(1, 0.6, 0.6, 1), 2))), "\n")

cat("# Chi-square upper tails (exact) for 3..21 and > 21 degrees of freedom\n")
for (k in c(3, 4, 5, 10, 15, 21)) {
  for (m in c(0.2, 1, 2, 3)) {
    x <- m * k
    # The program's 199-step left Riemann sum of the density over [0, 0.995x].
    h <- 0.005 * x
    riemann <- max(0, 1 - sum(dchisq((0:198) * h, k)) * h)
    cat(sprintf("{%g, %d, %s, %s},\n", x, k, f(pchisq(x, k, lower.tail = FALSE)), f(riemann)))
  }
}
for (k in c(22, 30, 60)) {
  for (m in c(0.7, 1, 1.3, 1.6)) {
    x <- m * k
    cat(sprintf("{%g, %d, %s},\n", x, k, f(pchisq(x, k, lower.tail = FALSE))))
  }
}
cat("# One degree of freedom\n")
cat(f(pchisq(c(0.5, 2, 3.841), 1, lower.tail = FALSE)), "\n")

cat("# Gamma function\n")
g <- c(0.1, 0.5, 1.5, 2.5, 7.3, 11.9, 12.5, 30.25, 100.5, 171)
cat(sprintf("{%g, %s},\n", g, f(gamma(g))))

cat("# Normal quantiles and distribution function\n")
p <- c(0.001, 0.01, 0.05, 0.1, 0.3, 0.5, 0.9, 0.975, 0.999, 0.99999)
cat(sprintf("{%g, %s},\n", p, f(qnorm(p))))
z <- c(-3.5, -2, -1, -0.5, 0.3, 1, 1.5, 2.5, 3, 3.9)
cat(sprintf("{%g, %s},\n", z, f(pnorm(z))))
x <- c(0.1, 0.3, 0.47, 0.5, 1, 2, 3, 3.9, 4, 4.1, 4.4, -0.3, -2.5)
cat("# erf(x) = 2 pnorm(x sqrt(2)) - 1\n")
cat(sprintf("{%g, %s},\n", x, f(2 * pnorm(x * sqrt(2)) - 1)))

cat("# The stream state = state*214013 + 2531011 mod 2^32 from state 1 (exact in doubles)\n")
s <- 1
for (i in 1:10) {
  s <- (s * 214013 + 2531011) %% 2^32
  cat(floor(s / 65536) %% 32768, "")
}
cat("\n")
