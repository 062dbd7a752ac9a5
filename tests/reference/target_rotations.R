# Reference values for the target rotation tests, computed with GPArotation
# and with R transcriptions of the published Promax and Promin target rules.
# Run from this folder:
#   Rscript target_rotations.R > target_rotations.txt
# Needs GPArotation (tested with 2022.10.2). The unrotated loadings are the
# "input" records of rotation_reference.txt, so both sides rotate the same L.
# Every value has 17 significant digits; one record per line: a key, then
# whitespace-separated numbers (matrices row-major).
library(GPArotation)
options(warn = 1)
set.seed(20261207)

num <- function(values) formatC(as.numeric(values), digits = 17, format = "g")

inputs <- list()
for (line in readLines("rotation_reference.txt")) {
  words <- strsplit(trimws(line), "[[:space:]]+")[[1]]
  if (words[1] != "input") next
  p <- as.integer(words[3]); k <- as.integer(words[4])
  inputs[[words[2]]] <- matrix(as.numeric(words[-(1:4)]), p, k, byrow = TRUE)
}

# The best of the identity and `starts` Random.Start runs by the criterion
# crit(result), smallest first. Runs that stop at maxit count too: the
# value a run reaches is what the tests compare with.
best_of <- function(run, crit, k, starts = 15, any = TRUE, first = NULL) {
  best <- NULL
  for (s in -1:starts) {
    if (s == -1 && is.null(first)) next
    tm <- if (s == -1) first else if (s == 0) diag(k) else Random.Start(k)
    res <- suppressWarnings(tryCatch(run(tm), error = function(e) NULL))
    if (is.null(res) || !(any || isTRUE(res$convergence))) next
    f <- crit(res)
    if (is.null(best) || f < best$f - 1e-12) best <- list(res = res, f = f)
  }
  best
}
phi_of <- function(res) if (is.null(res$Phi)) diag(ncol(res$loadings)) else res$Phi

# --- user targets --------------------------------------------------------
# From the best quartimin pattern Q: "full" is Q rounded to one decimal;
# "semi" frees the cells with |Q| >= 0.25 (9 for positive, -9 for negative
# loadings) except the largest cell of each column, specified rounded, and
# specifies 0 elsewhere. Target columns are taken in reverse order and the
# first one reflected, so the rotation has to find the columns.
user_targets <- function(L) {
  k <- ncol(L)
  q <- best_of(function(tm) oblimin(L, Tmat = tm, gam = 0, eps = 1e-6, maxit = 1000),
               function(res) {
                 b2 <- res$loadings^2
                 sum(crossprod(b2)) - sum(b2^2)
               }, k, starts = 5, any = FALSE)$res$loadings
  q <- unclass(q)[, k:1, drop = FALSE]
  q[, 1] <- -q[, 1]
  full <- round(q, 1)
  semi <- ifelse(abs(q) >= 0.25, 9 * sign(q), 0)
  for (j in 1:k) {
    i <- which.max(abs(q[, j]))
    semi[i, j] <- round(q[i, j], 1)
  }
  list(full = full, semi = semi)
}

cat("# Produced by target_rotations.R with R", as.character(getRversion()),
    "and GPArotation", as.character(packageVersion("GPArotation")), "\n")
cat("# input NAME p k L\n")
cat("# target NAME TNAME T  (cells of absolute value 9 are free)\n")
cat("# fit NAME TNAME OBLIQUE f P Phi: best of 17 runs (a start from the least-squares fit\n")
cat("#   to the target, the identity, 15 Random.Start) of\n")
cat("#   pstQ/pstT (semi) or targetQ/targetT (full), eps 1e-7, maxit 2000, converged or not;\n")
cat("#   f = sum of squared residuals over the specified cells\n")
cat("# simplimax NAME ZEROS f: best of 21 runs (converged or not, maxit 1000) of GPArotation::simplimax(k = ZEROS)\n")
cat("#   by the sum of the ZEROS smallest squared loadings\n")
cat("# promax NAME K NORM P Phi TARGET: R transcription below after the best of 16\n")
cat("#   GPArotation::Varimax runs (normalize = NORM)\n")
cat("# promin NAME f P Phi INDICATOR: weighted varimax (transcribed weighting, best of\n")
cat("#   16 Varimax runs), the target rule below, then the best of 16 pstQ runs from L\n")

for (name in names(inputs)) {
  L <- inputs[[name]]
  p <- nrow(L); k <- ncol(L)
  message(name, " ", format(Sys.time()))
  cat("input", name, p, k, num(t(L)), "\n")

  if (k > 2) {
    targets <- user_targets(L)
    for (tname in names(targets)) {
      tg <- targets[[tname]]
      cat("target", name, tname, num(t(tg)), "\n")
      w <- ifelse(abs(tg) >= 9, 0, 1)
      goal <- ifelse(abs(tg) >= 9, 0, tg)
      resid <- function(res) sum((w * (unclass(res$loadings) - goal))^2)
      for (oblique in c(TRUE, FALSE)) {
        run <- if (tname == "full") {
          if (oblique) function(tm) targetQ(L, Tmat = tm, Target = goal, eps = 1e-7, maxit = 2000)
          else function(tm) targetT(L, Tmat = tm, Target = goal, eps = 1e-7, maxit = 2000)
        } else {
          if (oblique) function(tm) pstQ(L, Tmat = tm, W = w, Target = goal, eps = 1e-7, maxit = 2000)
          else function(tm) pstT(L, Tmat = tm, W = w, Target = goal, eps = 1e-7, maxit = 2000)
        }
        # One more start near the answer: the unconstrained least-squares fit
        # to the target with unit columns (oblique), or its orthogonal
        # Procrustes rotation (orthogonal).
        ls <- solve(crossprod(L), crossprod(L, goal))
        sv <- svd(crossprod(L, goal))
        first <- if (oblique) sweep(ls, 2, sqrt(colSums(ls^2)), "/") else sv$u %*% t(sv$v)
        best <- best_of(run, resid, k, first = first)
        cat("fit", name, tname, as.integer(oblique), num(best$f),
            num(t(unclass(best$res$loadings))), num(t(phi_of(best$res))), "\n")
      }
    }

    n0 <- (k - 1) * p
    for (z in c(n0 - (2 * n0) %/% 3, n0, n0 + p %/% 3)) {
      small <- function(res) sum(sort(as.vector(unclass(res$loadings))^2)[1:z])
      best <- best_of(function(tm) simplimax(L, Tmat = tm, k = z, eps = 1e-7, maxit = 2000),
                      small, k, starts = 20)
      cat("simplimax", name, z, num(best$f), "\n")
    }
  }

  # Promax as published: the target sign(c)|c|^k of the varimax loadings with
  # rows scaled to unit length and columns to a largest absolute value of 1,
  # a least-squares fit with unit-length columns, factors of unit variance.
  varimax_f <- function(b) sum(colSums(b^4) - colSums(b^2)^2 / nrow(b))
  for (norm in c(FALSE, TRUE)) {
    h <- sqrt(rowSums(L^2))
    vm <- best_of(function(tm) Varimax(L, Tmat = tm, normalize = norm, eps = 1e-10, maxit = 1000),
                  function(res) -varimax_f(if (norm) res$loadings / h else res$loadings), k)
    a <- unclass(vm$res$loadings)
    for (kk in c(4, 2)) {
      b <- a / sqrt(rowSums(a^2))
      cm <- sweep(b, 2, apply(abs(b), 2, max), "/")
      tg <- ifelse(cm == 0, 0, abs(cm)^(kk + 1) / cm)
      q <- solve(crossprod(a), crossprod(a, tg))
      q1 <- sweep(q, 2, sqrt(colSums(q^2)), "/")
      u <- solve(t(q1))
      t2 <- sweep(u, 2, sqrt(colSums(u^2)), "/")
      pattern <- a %*% solve(t(t2))
      cat("promax", name, kk, as.integer(norm), num(t(pattern)), num(t(crossprod(t2))),
          num(t(tg)), "\n")
    }
  }

  # Promin: the row weighting of the principal axes, varimax on the weighted
  # rows, each column's squared normalised loadings cut at mean + sd/4
  # (population sd); cells at or above the cut (and at least 1e-4) are free,
  # the others fitted to 0 from L.
  e <- eigen(L %*% t(L), symmetric = TRUE)
  f <- e$vectors[, 1:k] %*% diag(sqrt(pmax(e$values[1:k], 0)))
  s <- ifelse(f[, 1] > 0, 1, -1)
  g <- s * f / sqrt(rowSums(f^2))
  theta0 <- acos(sqrt(1 / k)) * 180 / pi
  theta <- acos(g[, 1]) * 180 / pi
  theta[is.nan(theta)] <- 45
  tt <- ifelse(g[, 1] >= sqrt(1 / k), 90 * (theta0 - theta) / theta0,
               90 * (theta - theta0) / (90 - theta0))
  wt <- cos(tt * pi / 180)^2 + 0.001
  wg <- wt * g
  vm <- best_of(function(tm) Varimax(wg, Tmat = tm, eps = 1e-10, maxit = 1000),
                function(res) -varimax_f(res$loadings), k)
  a <- f %*% vm$res$Th
  b2 <- (a / sqrt(rowSums(a^2)))^2
  cut <- colMeans(b2) + sqrt(colMeans(sweep(b2, 2, colMeans(b2))^2)) / 4
  free <- sweep(b2, 2, cut, ">=") & b2 >= 1e-4
  w <- ifelse(free, 0, 1)
  best <- best_of(function(tm) pstQ(L, Tmat = tm, W = w, Target = matrix(0, p, k),
                                    eps = 1e-7, maxit = 2000),
                  function(res) sum((w * unclass(res$loadings))^2), k)
  cat("promin", name, num(best$f), num(t(unclass(best$res$loadings))), num(t(best$res$Phi)),
      num(t(ifelse(free, 1, 0))), "\n")
}
