# Reference values for the participants' scores on the factors, the EAP
# scores of the graded logistic model and the lc person-fit index.
# Written independently here with base R (optim for the ULS one-factor
# solution of the person-fit index), plus psych (Debian r-cran-psych) for
# the example pattern and the comparison with
# psych::factor.scores(method = "tenBerge").
# Run: Rscript scores_reference.R (from this folder); writes
# scores_reference.txt: blocks 'matrix NAME ROWS COLS' followed by the rows.
suppressMessages(library(psych))

out <- file("scores_reference.txt", "w")
cat("# Written by scores_reference.R (base R transcriptions; psych for the example pattern and tenBerge).\n",
    file = out)
put <- function(name, m) {
  m <- as.matrix(m)
  cat(sprintf("matrix %s %d %d\n", name, nrow(m), ncol(m)), file = out)
  for (i in seq_len(nrow(m)))
    cat(paste(formatC(m[i, ], digits = 17, format = "g"), collapse = " "), "\n", file = out)
}

msqrt <- function(a) { e <- eigen(a, symmetric = TRUE); e$vectors %*% diag(sqrt(e$values), nrow(a)) %*% t(e$vectors) }
covN <- function(x) { n <- nrow(x); cov(x) * (n - 1) / n }
zN <- function(x) { xc <- sweep(x, 2, colMeans(x)); sweep(xc, 2, sqrt(colSums(xc^2) / nrow(x)), "/") }

bfi <- as.matrix(read.table("bfi25.dat"))

## Correlation-preserving scores: F = Z L (L'RL)^(-1/2) Phi^(1/2), L = Lambda Phi^(1/2).
x <- bfi[1:200, 1:10]
f <- fa(x, nfactors = 2, fm = "uls", rotate = "oblimin")
lambda <- unclass(f$loadings); phi <- f$Phi
r <- cor(x)
l <- lambda %*% msqrt(phi)
scores <- zN(x) %*% l %*% solve(msqrt(t(l) %*% r %*% l)) %*% msqrt(phi)
put("ls_x", x); put("ls_pattern", lambda); put("ls_phi", phi); put("ls_scores", scores)
tb <- factor.scores(x, f = lambda, Phi = phi, method = "tenBerge")$scores
put("ls_tenberge", tb)
# psych weights the items by R^-1 L, (L'R^-1 L)^(-1/2) (ten Berge et al.'s
# least-squares correlation-preserving weights; scores standardized with
# N - 1 and R smoothed when needed); ours weight them by L itself. Both have
# covariance Phi; they coincide only when R^-1 L and L span the same columns.
ri <- solve(r)
tbR <- zN(x) %*% ri %*% l %*% solve(msqrt(t(l) %*% ri %*% l)) %*% msqrt(phi)
cat(sprintf("# max |psych tenBerge - Z R^-1 L (L'R^-1 L)^(-1/2) Phi^(1/2)| = %.4f\n",
            max(abs(tbR - tb))), file = out)
cat(sprintf("# cor(ours, tenBerge) by factor: %s; max |difference| %.4f\n",
            paste(sprintf("%.5f", diag(cor(scores, tb))), collapse = " "),
            max(abs(scores - tb))), file = out)

## EAP scores: product grid on [-4, 4], prior weight dnorm * h, graded
## logistic model with the 1.702 scaling, responses recoded from the common
## lowest score. Plain products (no log space) for these short vectors.
eap <- function(resp, lam, tau, sigma, n) {
  m <- ncol(lam); K <- ncol(tau) + 1
  h <- 8 / (n - 1); nodes <- -4 + h * (0:(n - 1))
  w <- 0.398942258 * exp(-nodes^2 / 2) * h
  grid <- as.matrix(expand.grid(rep(list(nodes), m)))
  prior <- apply(as.matrix(expand.grid(rep(list(w), m))), 1, prod)
  G <- function(t, eta, s) 1 / (1 + exp(-1.702 * (t - eta) / s))
  like <- rep(1, nrow(grid))
  for (i in seq_along(resp)) {
    eta <- as.vector(grid %*% lam[i, ])
    x <- resp[i]
    up <- if (x == K - 1) 1 else G(tau[i, x + 1], eta, sigma[i])
    lo <- if (x == 0) 0 else G(tau[i, x], eta, sigma[i])
    like <- like * (up - lo)
  }
  wq <- prior * like; S <- sum(wq)
  e <- colSums(wq * grid) / S
  v <- colSums(wq * grid^2) / S - e^2
  c(e, sqrt(v), 1 - v)
}
set.seed(20261207)
nodesFor <- function(m) if (m <= 2) 20 else if (m == 3) 15 else 10
for (m in 1:3) {
  p <- 6; K <- 4; lowest <- 1
  lam <- matrix(0, p, m)
  for (i in 1:p) lam[i, ((i - 1) %% m) + 1] <- 0.5 + 0.05 * i
  if (m > 1) lam[2, m] <- -0.2
  psi <- 1 - rowSums(lam^2)
  tau <- t(sapply(1:p, function(i) sort(c(-1.2, -0.1, 0.9) + 0.1 * (i - 3))))
  x <- matrix(sample(1:4, 15 * p, replace = TRUE), 15, p)
  x[, 6] <- pmax(x[, 6], 2)  # item 6 never uses the lowest score
  x[1, ] <- 1; x[2, ] <- 4
  res <- t(apply(x - lowest, 1, eap, lam = lam, tau = tau, sigma = sqrt(psi), n = nodesFor(m)))
  put(sprintf("eap%d_x", m), x); put(sprintf("eap%d_pattern", m), lam)
  put(sprintf("eap%d_thresholds", m), tau); put(sprintf("eap%d_psi", m), diag(psi, p))
  put(sprintf("eap%d_result", m), res)
}

## A long response vector whose plain likelihood underflows: 1,500 items of
## one factor, loading 0.6, thresholds (-1, 0, 1), responses cycling through
## the four categories. Log-sum-exp with the largest log weight as shift.
p <- 1500; lam <- rep(0.6, p); sigma <- sqrt(1 - lam^2)
resp <- rep(0:3, length.out = p); tau <- c(-1, 0, 1)
n <- 20; h <- 8 / (n - 1); nodes <- -4 + h * (0:(n - 1))
logG <- function(z) plogis(z, log.p = TRUE)
lw <- log(0.398942258 * exp(-nodes^2 / 2) * h)
for (i in 1:p) {
  x <- resp[i]; z <- function(t) 1.702 * (t - lam[i] * nodes) / sigma[i]
  pr <- if (x == 0) plogis(z(tau[1])) else if (x == 3) plogis(-z(tau[3])) else
    plogis(z(tau[x + 1])) - plogis(z(tau[x]))
  lw <- lw + log(pr)
}
wq <- exp(lw - max(lw)); e <- sum(wq * nodes) / sum(wq)
v <- sum(wq * nodes^2) / sum(wq) - e^2
put("eap_long_result", t(c(e, sqrt(v), 1 - v)))
cat(sprintf("# plain product of the long vector's weights: %g\n", sum(exp(lw))), file = out)

## lc person fit of the one-factor ULS solution of the covariance matrix
## (divisor N): Q = r' D^-2 r, lc = sqrt(2Q) - sqrt(2(p - 1) - 1).
x <- bfi[1:150, 11:16]
S <- covN(x); N <- nrow(x); p <- ncol(x)
# ULS: the loadings that minimise the off-diagonal residuals of S (BFGS
# with the analytic gradient, from the first principal axis).
uls <- function(l) { R <- S - l %o% l; diag(R) <- 0; sum(R^2) }
ulsGrad <- function(l) { R <- S - l %o% l; diag(R) <- 0; -4 * as.vector(R %*% l) }
e <- eigen(S, symmetric = TRUE)
start <- e$vectors[, 1] * sqrt(e$values[1])
lam <- optim(start, uls, ulsGrad, method = "BFGS",
             control = list(reltol = 1e-16, maxit = 10000))$par
lam <- matrix(lam, ncol = 1)
if (sum(lam) < 0) lam <- -lam
psi <- diag(S) - lam^2
r <- cor(x)
fs <- zN(x) %*% lam / sqrt(as.numeric(t(lam) %*% r %*% lam))
res <- sweep(x, 2, colMeans(x)) - fs %*% t(lam)
Q <- rowSums(sweep(res^2, 2, psi, "/"))
lc <- sqrt(2 * Q) - sqrt(2 * (p - 1) - 1)
put("fit_x", x); put("fit_loadings", lam); put("fit_lc", lc)
close(out)
