# R psych's bootstrapped fa on the timing file: polychoric correlations,
# ULS (psych's fm = "uls"), 5 factors, oblimin (psych has no Promin; the
# rotation is a small part of each replicate, whose time goes to the
# polychoric matrix). Elapsed seconds, best of REPEATS, of fa without
# resampling (t0) and with n.iter = 20 (t20); each replicate recomputes the
# polychoric matrix and the whole analysis, so 500 resamples take about
# t0 + 500 (t20 - t0) / 20. psych spreads the replicates over
# getOption("mc.cores", 2) forked processes: both cores, like talvex.
# Usage: Rscript psych_timing.R likert2800.dat [REPEATS]
suppressPackageStartupMessages(library(psych))
args <- commandArgs(trailingOnly = TRUE)
repeats <- if (length(args) >= 2) as.integer(args[2]) else 3L
x <- as.data.frame(as.matrix(read.table(args[1])))
best <- function(run) min(sapply(seq_len(repeats), function(i) system.time(run())[["elapsed"]]))
set.seed(1)
t0 <- best(function() fa(x, nfactors = 5, fm = "uls", rotate = "oblimin", cor = "poly"))
t20 <- best(function() fa(x, nfactors = 5, fm = "uls", rotate = "oblimin", cor = "poly", n.iter = 20))
cat(sprintf("R psych fa, no resampling:            %8.2f s\n", t0))
cat(sprintf("R psych fa, n.iter = 20:              %8.2f s\n", t20))
cat(sprintf("R psych fa, 500 resamples (extrap.):  %8.2f s\n", t0 + 500 * (t20 - t0) / 20))
