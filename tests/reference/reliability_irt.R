# Reference values for the reliability and IRT parameterization tests.
# Run from this folder: Rscript reliability_irt.R > reliability_irt_reference.txt
# Needs base R and psych (tested with R 4.2.2, psych 2.2.9), no other package.
# One record per line: KIND NAME, then whitespace-separated numbers with 17
# significant digits.
library(psych)
options(warn = 1)

out <- function(kind, name, values) {
  cat(kind, name, formatC(as.numeric(values), digits = 17, format = "g"), "\n")
}

source("reference_sets.R")

# The greatest lower bound by a method unrelated to the one tested: maximise
# the error variance sum(psi) subject to S - diag(psi) positive semidefinite
# and psi >= 0, with the log-barrier
# sum(psi) + mu (log det(S - diag(psi)) + sum(log(psi))) maximised by damped
# Newton steps while mu falls to 1e-9 (the trace is then within 2 p mu of
# the optimum). Starts inside at half the smallest eigenvalue of S.
glb_barrier <- function(s) {
  objective <- function(psi, mu) {
    e <- eigen(s - diag(psi), symmetric = TRUE, only.values = TRUE)$values
    if (min(e) <= 0 || min(psi) <= 0) -Inf else sum(psi) + mu * (sum(log(e)) + sum(log(psi)))
  }
  psi <- rep(0.5 * min(eigen(s, symmetric = TRUE, only.values = TRUE)$values), nrow(s))
  for (mu in 10^-(1:9)) {
    for (iteration in 1:500) {
      inv <- solve(s - diag(psi), tol = 0)
      gradient <- 1 - mu * diag(inv) + mu / psi
      step <- solve(inv * inv + diag(1 / psi^2), gradient, tol = 0) / mu
      decrement <- sum(gradient * step)
      if (decrement < 1e-16) break
      t <- 1
      f0 <- objective(psi, mu)
      while (objective(psi + t * step, mu) < f0 + 0.25 * t * decrement && t > 1e-14) t <- t / 2
      if (t <= 1e-14) break
      psi <- psi + t * step
    }
  }
  diag(s) - psi
}

# One-factor least-squares loadings of a covariance matrix: the off-diagonal
# residual sum of squares minimised by BFGS from the correlation solution
# rescaled (psych's fa with covar = TRUE does not reach this minimum here).
uls_covariance <- function(s) {
  loss <- function(l) { r <- s - outer(l, l); diag(r) <- 0; sum(r^2) }
  start <- as.numeric(fa(cov2cor(s), 1, fm = "minres")$loadings[, 1]) * sqrt(diag(s))
  optim(start, loss, method = "BFGS", control = list(reltol = 1e-16, maxit = 10000))$par
}

# Signs that reverse the variables keyed against the first one.
keys_of <- function(l) ifelse(sign(l) == -sign(l[1]) & l != 0, -1, 1)

bfi <- as.matrix(read.table("bfi25.dat"))
n_bfi <- nrow(bfi)
colnames(bfi) <- paste0("V", 1:25)
sets <- list(
  harman74 = list(s = reference_sets$harman74$r, covar = FALSE),
  bfi25 = list(s = reference_sets$bfi25$r, covar = FALSE),
  # covariances with divisor N, and ability.cov (6 tests, N = 112)
  bfi25cov = list(s = cov(bfi) * (n_bfi - 1) / n_bfi, covar = TRUE),
  ability = list(s = datasets::ability.cov$cov, covar = TRUE)
)

cat("# Produced by reliability_irt.R with R", as.character(getRversion()),
    "and psych", as.character(packageVersion("psych")), "\n")
cat("# matrix NAME p S(row-major)\n")
cat("# omega NAME   correlations: psych::omega(S, nfactors = 1, fm = 'minres')$omega_h;\n")
cat("#              covariances: (sum of reflected loadings)^2 / sum of the reflected S\n")
cat("#              with the loadings of uls_covariance\n")
cat("# alpha NAME   psych::alpha(cov2cor(S), keys = reversed items)$total$std.alpha\n")
cat("# keys NAME    the reflection signs from those one-factor loadings\n")
cat("# glb NAME glb trace h(1..p)   log-barrier interior point maximum of the error\n")
cat("#              variance trace with psi >= 0;")
cat(" glb = 1 - sum(psi) / sum(D S D)\n")
cat("# glbfa NAME   psych::glb.fa(S, key)$glb (an approximation from minres communalities)\n")
for (name in names(sets)) {
  s <- unname(sets[[name]]$s)
  dimnames(s) <- list(paste0("V", 1:nrow(s)), paste0("V", 1:nrow(s)))
  covar <- sets[[name]]$covar
  p <- nrow(s)
  out("matrix", name, c(p, t(s)))
  if (covar) {
    l <- uls_covariance(s)
    d <- keys_of(l)
    omega_h <- sum(d * l)^2 / sum(diag(d) %*% s %*% diag(d))
  } else {
    om <- suppressMessages(suppressWarnings(omega(s, nfactors = 1, fm = "minres", plot = FALSE)))
    d <- keys_of(fa(s, 1, fm = "minres")$loadings[, 1])
    omega_h <- om$omega_h
  }
  out("keys", name, d)
  out("omega", name, omega_h)
  reversed <- colnames(s)[d < 0]
  a <- suppressMessages(suppressWarnings(
    alpha(cov2cor(s), keys = if (length(reversed)) reversed else NULL, check.keys = FALSE)))
  out("alpha", name, a$total$std.alpha)
  h <- glb_barrier(s)
  dsd <- diag(d) %*% s %*% diag(d)
  out("glb", name, c(1 - sum(diag(s) - h) / sum(dsd), sum(h), h))
  out("glbfa", name, suppressMessages(suppressWarnings(glb.fa(s, key = d)))$glb)
}

# IRT of one factor: psych::irt.fa gives discrimination = l / sqrt(1 - l^2) and
# difficulty = tau / sqrt(1 - l^2); the location tau / l is their quotient.
# The references take the sign that makes the first item load positively and
# clamp the locations to [-5, 5].
# irt NAME p K-1 loadings(p) tau(p x (K-1), row-major) a(p) b(p x (K-1))
cat("# irt NAME p K-1 loadings tau a b   from psych::irt.fa(x, 1, fm = 'minres')\n")
ability <- as.matrix(read.table("ability16.dat"))
irt_sets <- list(ability16 = ability, bfiA = bfi[, 1:5], bfiC = bfi[, 6:10])
for (name in names(irt_sets)) {
  x <- irt_sets[[name]]
  fit <- suppressMessages(suppressWarnings(irt.fa(x, nfactors = 1, fm = "minres", plot = FALSE)))
  l <- as.numeric(fit$fa$loadings[, 1])
  tau <- as.matrix(fit$tau)
  if (ncol(tau) == 1 || is.null(dim(fit$tau))) tau <- matrix(as.numeric(fit$tau), ncol = 1)
  discrimination <- as.numeric(fit$irt$discrimination[, 1])
  difficulty <- as.matrix(fit$irt$difficulty[[1]])
  if (is.null(dim(fit$irt$difficulty[[1]]))) difficulty <- matrix(fit$irt$difficulty[[1]], ncol = 1)
  s1 <- if (l[1] < 0) -1 else 1
  a <- s1 * discrimination
  b <- pmin(pmax(difficulty / a, -5), 5)
  out("irt", name, c(nrow(tau), ncol(tau), l, t(tau), a, t(b)))
}
