# Data sets with missing values built from complete public data, and the
# loadings that psych::fa gives on their pairwise-complete correlations.
#   bfi_mcar.dat    - the first 1000 rows of bfi25.dat with 3% of the cells
#                     deleted completely at random (999 marks a missing cell).
#   bfi_mnar.dat    - the same rows with cells deleted more often for high
#                     scores (probability 0.01 for scores 1-4, 0.10 for 5-6).
#   missing_reference.txt - per file, psych::fa (minres, 5 factors, varimax)
#                     loadings of the pairwise-complete Pearson correlations,
#                     and the same for the complete 1000 rows.
#   ../reports/inputs/likert_missing.dat - ../reports/inputs/likert.dat with
#                     4% of the cells deleted at random (code 999).
# Needs: r-base-core, r-cran-psych, r-cran-gparotation (Debian packages).
# Run: Rscript missing_reference.R (from this folder).
library(psych)
set.seed(20151)
x <- as.matrix(read.table("bfi25.dat"))[1:1000, ]
mcar <- x
mcar[matrix(runif(length(x)) < 0.03, nrow(x))] <- NA
p <- ifelse(x >= 5, 0.10, 0.01)
mnar <- x
mnar[matrix(runif(length(x)), nrow(x)) < p] <- NA
write999 <- function(m, file) {
  m[is.na(m)] <- 999
  write.table(m, file, row.names = FALSE, col.names = FALSE)
}
write999(mcar, "bfi_mcar.dat")
write999(mnar, "bfi_mnar.dat")
out <- file("missing_reference.txt", "w")
for (name in c("complete", "mcar", "mnar")) {
  m <- switch(name, complete = x, mcar = mcar, mnar = mnar)
  r <- cor(m, use = "pairwise.complete.obs")
  f <- fa(r, nfactors = 5, fm = "minres", rotate = "varimax", n.obs = nrow(m))
  writeLines(paste("#", name), out)
  write.table(round(unclass(f$loadings), 6), out, row.names = FALSE, col.names = FALSE)
}
close(out)
likert <- as.matrix(read.table("../reports/inputs/likert.dat"))
likert[matrix(runif(length(likert)) < 0.04, nrow(likert))] <- 999
write.table(likert, "../reports/inputs/likert_missing.dat", row.names = FALSE, col.names = FALSE)
cat(sum(is.na(mcar)), "and", sum(is.na(mnar)), "cells deleted;",
    sum(likert == 999), "in likert_missing.dat\n")
