# The polychoric matrix of the benchmark file in R, one core each:
# psych::polychoric (pairwise two-step estimates, global = FALSE, no
# correction) and lavaan::lavCor(ordered = TRUE). Elapsed seconds of each.
# Usage: Rscript r_timing.R likert2500.dat
# Needs r-cran-psych and r-cran-lavaan.
suppressPackageStartupMessages({library(psych); library(lavaan)})
options(mc.cores = 1)
args <- commandArgs(trailingOnly = TRUE)
x <- as.data.frame(as.matrix(read.table(args[1])))
t <- system.time(p <- polychoric(x, global = FALSE, correct = 0))[["elapsed"]]
cat(sprintf("R psych::polychoric      : %8.3f s\n", t))
t <- system.time(l <- lavCor(x, ordered = names(x)))[["elapsed"]]
cat(sprintf("R lavaan::lavCor ordered : %8.3f s\n", t))
cat(sprintf("largest difference psych - lavaan: %.5f\n", max(abs(p$rho - l))))
