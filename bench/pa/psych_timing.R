# Times psych::fa.parallel on the parallel-analysis benchmark file (2,500 x 25
# six-point items, bench/polychoric/make_data.py):
#   optimal:   fa.parallel(x, cor = "poly", n.iter = 20), extrapolated to 500
#              replicates as t_real + 25 (t_20 - t_real), where t_real is the
#              time of the one polychoric matrix of the real data
#              (psych::polychoric(x)) that fa.parallel computes once whatever
#              n.iter is; everything else grows with the replicates.
#   classical: fa.parallel(x, n.iter = 500, fa = "pc"), timed as it is.
# Packages: r-base-core, r-cran-psych (Debian).
# Usage: Rscript psych_timing.R FILE [WHICH]  (WHICH: optimal, classical, both)
suppressMessages(library(psych))
args <- commandArgs(trailingOnly = TRUE)
which <- if (length(args) > 1) args[2] else "both"
x <- as.matrix(read.table(args[1]))
elapsed <- function(expr) unname(system.time(expr)["elapsed"])
if (which %in% c("optimal", "both")) {
  t_real <- elapsed(polychoric(x))
  t20 <- elapsed(invisible(capture.output(fa.parallel(x, cor = "poly", n.iter = 20, plot = FALSE))))
  cat(sprintf("R psych optimal:   polychoric(x) %.1f s, fa.parallel(cor = \"poly\", n.iter = 20) %.1f s, extrapolated to 500: %.0f s\n",
              t_real, t20, t_real + 25 * (t20 - t_real)))
}
if (which %in% c("classical", "both")) {
  t500 <- elapsed(invisible(capture.output(fa.parallel(x, n.iter = 500, fa = "pc", plot = FALSE))))
  cat(sprintf("R psych classical: fa.parallel(fa = \"pc\", n.iter = 500) %.2f s\n", t500))
}
