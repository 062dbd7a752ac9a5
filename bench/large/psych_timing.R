# The same computations as scenario.session, in R's psych, timed as one run:
# Mardia's tests, Pearson correlations, KMO, Bartlett's test, the MAP test and
# ULS extraction of 8 factors. Usage: Rscript psych_timing.R large.dat
suppressPackageStartupMessages(library(psych))
args <- commandArgs(trailingOnly = TRUE)
start <- proc.time()
x <- as.matrix(read.table(args[1]))
m <- mardia(x, plot = FALSE)
r <- cor(x)
k <- KMO(r)
b <- cortest.bartlett(r, n = nrow(x))
v <- VSS(r, n = 20, rotate = "none", fm = "minres", n.obs = nrow(x), plot = FALSE)
f <- fa(r, nfactors = 8, fm = "uls", rotate = "none", n.obs = nrow(x))
elapsed <- (proc.time() - start)[["elapsed"]]
cat(sprintf("R psych elapsed seconds: %.2f\n", elapsed))
