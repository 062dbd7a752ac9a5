# Bootstrap standard errors of the bfi solution (25 items, complete cases,
# Pearson correlations, ML, 5 factors, oblimin with gamma 0, that is raw
# direct quartimin) from talvex --bootstrap and from psych's fa(n.iter = B).
# Both resample the same participants' rows; the streams differ, so the two
# sets of standard errors differ by Monte Carlo error as well (about
# 1/sqrt(2(B - 1)) of a standard error, 3 % at B = 500).
#
# Usage: Rscript bench/bootstrap/bfi_compare.R [path of talvex] [B]
# Writes the comparison to standard output.
suppressPackageStartupMessages({
    library(psych)
    library(jsonlite)
})
args <- commandArgs(trailingOnly = TRUE)
talvex <- if (length(args) >= 1) args[1] else "build/talvex"
B <- if (length(args) >= 2) as.integer(args[2]) else 500L
data(bfi, package = "psych")
x <- na.omit(bfi[, 1:25])
cat(sprintf("bfi: %d complete cases of %d items; B = %d\n\n", nrow(x), ncol(x), B))

work <- tempfile("bfi")
dir.create(work)
write.table(x, file.path(work, "bfi.dat"), row.names = FALSE, col.names = FALSE)
writeLines(colnames(x), file.path(work, "labels.txt"))
json <- file.path(work, "bfi.json")
status <- system2(talvex, c("analyse", file.path(work, "bfi.dat"), "--labels", file.path(work, "labels.txt"),
                            "--matrix", "pearson", "--extraction", "ML", "--factors", "5", "--procedure", "MAP",
                            "--rotation", shQuote("Direct Quartimin"), "--bootstrap", B,
                            "--report", file.path(work, "bfi.txt"), "--json", json),
                  stdout = FALSE, stderr = FALSE)
if (status != 0) stop("talvex failed: ", status)
tv <- fromJSON(json)
tl <- tv$rotated_loadings
tse <- tv$bootstrap$loadings$se
tlo <- tv$bootstrap$loadings$lower
tup <- tv$bootstrap$loadings$upper

set.seed(20261207)
ps <- fa(x, nfactors = 5, fm = "ml", rotate = "oblimin", n.iter = B)
pl <- unclass(ps$loadings)
pse <- ps$cis$sds
plo <- as.matrix(ps$cis$ci[, 1:5])  # lower.1..5, then upper.1..5
pup <- as.matrix(ps$cis$ci[, 6:10])

# talvex's factors in psych's order and signs.
cong <- factor.congruence(tl, pl)
perm <- apply(abs(cong), 2, which.max)
stopifnot(length(unique(perm)) == 5)
sgn <- sign(cong[cbind(perm, 1:5)])
tl <- sweep(tl[, perm], 2, sgn, "*")
tse <- tse[, perm]
flip <- function(lo, up, s) {  # bounds of a reflected column swap and change sign
    l <- sweep(lo, 2, s, "*"); u <- sweep(up, 2, s, "*")
    list(lower = pmin(l, u), upper = pmax(l, u))
}
tb <- flip(tlo[, perm], tup[, perm], sgn)

cat(sprintf("largest difference of the full-sample loadings: %.2g\n\n", max(abs(tl - pl))))
salient <- abs(pl) >= 0.3
summary_row <- function(name, keep) {
    r <- tse[keep] / pse[keep]
    cat(sprintf("%-28s %4d   %6.4f  %6.4f   %5.2f  %5.2f  %5.2f\n", name, sum(keep), mean(tse[keep]),
                mean(pse[keep]), median(r), min(r), max(r)))
}
cat("loadings                        n  SE talvex  psych   ratio: median   min    max\n")
summary_row("salient (|loading| >= .30)", salient)
summary_row("others", !salient)
summary_row("all", salient | !salient)

tw <- tb$upper - tb$lower
pw <- pup - plo
cat(sprintf("\nmean width of the 95%% intervals: talvex (percentile) %.4f, psych (normal, around the bootstrap mean) %.4f\n",
            mean(tw), mean(pw)))
centre_t <- (tb$upper + tb$lower) / 2 - tl
centre_p <- (pup + plo) / 2 - pl
cat(sprintf("mean |centre of the interval - estimate|: talvex %.4f, psych %.4f\n", mean(abs(centre_t)),
            mean(abs(centre_p))))
cat(sprintf("intervals excluding 0: talvex %d, psych %d of %d\n", sum(tb$lower > 0 | tb$upper < 0),
            sum(plo > 0 | pup < 0), length(pl)))

# Factor correlations: psych keeps each resample's Phi in the resample's own
# factor order (its loadings are target-rotated, its Phi is not).
tphi <- matrix(0, 5, 5)
tphi[lower.tri(tphi)] <- NA
k <- 0
for (a in 2:5) for (b in 1:(a - 1)) { k <- k + 1; tphi[a, b] <- tv$bootstrap$factor_correlations$se[k] }
tphi[upper.tri(tphi)] <- t(tphi)[upper.tri(tphi)]
tphi <- tphi[perm, perm]
pphi <- ps$cis$sds.rot
cat("\nfactor correlations: SE talvex / psych (psych's in its replicates' own order)\n")
cat(sprintf("  %.4f / %.4f\n", tphi[lower.tri(tphi)], pphi), sep = "")

cat("\nper item (SE talvex / psych of the salient loading):\n")
for (i in 1:nrow(pl)) {
    j <- which.max(abs(pl[i, ]))
    cat(sprintf("  %-4s F%d  %6.3f  %.4f / %.4f\n", rownames(pl)[i], j, pl[i, j], tse[i, j], pse[i, j]))
}
# The alignment alone: the same resamples of psych's fa aligned both ways,
# (a) columns matched by congruence and reflected (talvex's alignment of an
# oblique solution), (b) psych's target.rot towards the full-sample loadings.
set.seed(20261208)
aligned <- replicate(min(B, 200), {
    f <- unclass(fa(x[sample(nrow(x), replace = TRUE), ], nfactors = 5, fm = "ml", rotate = "oblimin")$loadings)
    cg <- factor.congruence(f, pl)
    o <- apply(abs(cg), 2, which.max)
    a <- sweep(f[, o], 2, sign(cg[cbind(o, 1:5)]), "*")
    c(a, unclass(target.rot(f, pl)$loadings))
})
n <- length(pl)
sa <- matrix(apply(aligned[1:n, ], 1, sd), ncol = 5)
sb <- matrix(apply(aligned[n + 1:n, ], 1, sd), ncol = 5)
cat(sprintf("\nsame %d resamples of psych's fa: SE matched and reflected / SE target-rotated: median %.2f (salient %.2f, others %.2f)\n",
            ncol(aligned), median(sa / sb), median(sa[salient] / sb[salient]), median(sa[!salient] / sb[!salient])))
cat(sprintf("SE talvex / SE of psych's resamples matched and reflected: median %.2f\n", median(tse / sa)))
unlink(work, recursive = TRUE)
