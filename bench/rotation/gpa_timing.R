# Direct quartimin from 100 starts (the identity and 99 Random.Start) with
# GPArotation, on the 25 x 5 bfi25 loadings that bench_rotation rotates.
# Prints the wall and CPU time of the loop in milliseconds (compare with the
# Time and CPU columns of quartiminHundredStarts).
library(GPArotation)
args <- commandArgs(trailingOnly = TRUE)
lines <- readLines(args[1])
rec <- strsplit(grep("^input bfi25 ", lines, value = TRUE), " +")[[1]]
p <- as.integer(rec[3]); k <- as.integer(rec[4])
L <- matrix(as.numeric(rec[5:(4 + p * k)]), p, k, byrow = TRUE)
set.seed(1)
t0 <- proc.time()
best <- Inf
for (s in 0:99) {
  tm <- if (s == 0) diag(k) else Random.Start(k)
  r <- quartimin(L, Tmat = tm)
  best <- min(best, tail(r$Table[, 2], 1))
}
t1 <- proc.time() - t0
cat(sprintf("GPArotation quartimin, 100 starts: %.1f ms wall, %.1f ms CPU\n",
            1000 * t1[["elapsed"]], 1000 * (t1[["user.self"]] + t1[["sys.self"]])))

# GPArotation::simplimax for the Simplimax dialog's default range of zeros
# (34 to 108 for 25 x 5) with 101 starts each (the identity and 100
# Random.Start), as simplimaxDialogRange runs it. The whole range takes R a
# long time: the optional second argument STEP times every STEP-th number of
# zeros only and scales the time to the 75 values of the range.
step <- if (length(args) > 1) as.integer(args[2]) else 1L
zs <- seq(34, 108, by = step)
t0 <- proc.time()
for (z in zs) {
  best <- Inf
  for (s in 0:100) {
    tm <- if (s == 0) diag(k) else Random.Start(k)
    r <- suppressWarnings(simplimax(L, Tmat = tm, k = z))
    best <- min(best, sum(sort(as.vector(unclass(r$loadings))^2)[1:z]))
  }
}
t1 <- proc.time() - t0
scale <- 75 / length(zs)
cat(sprintf(paste0("GPArotation simplimax, zeros 34-108 by %d (%d values), 101 starts each: ",
                   "%.1f s wall, %.1f s CPU; scaled to the 75 values: %.1f s wall, %.1f s CPU\n"),
            step, length(zs), t1[["elapsed"]], t1[["user.self"]] + t1[["sys.self"]],
            scale * t1[["elapsed"]], scale * (t1[["user.self"]] + t1[["sys.self"]])))
