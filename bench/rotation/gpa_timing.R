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
