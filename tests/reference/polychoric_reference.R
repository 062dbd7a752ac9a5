# Reference values for the polychoric and tetrachoric tests.
#   Rscript polychoric_reference.R     (run in tests/reference)
# Needs R with polycor (r-cran-polycor), psych and psychTools (r-cran-psych,
# r-cran-psychtools). Writes ability16.dat and polychoric_reference.txt.
#
# Data: bfi25.dat (psychTools::bfi, 25 six-point items, 2436 complete cases)
# and ability16.dat (psychTools::ability, 16 items scored 0/1, 1248 complete
# cases). For every pair of items:
#   pair SET I J CORRECTED POLYCOR PSYCH
# I, J 0-based item numbers; CORRECTED 1 when the table has an empty cell and
# 0.5 is added to every cell first (polycor then estimates from that table);
# POLYCOR the two-step estimate polychor(table, ML = FALSE); PSYCH the
# pairwise estimate of psych (polychoric(global = FALSE, correct = 0) or
# tetrachoric(correct = 0)), NA for corrected tables.
#   threshold SET I C VALUE
# item I's thresholds (C = 0 ..) from the table of items I and I + 1, as
# qnorm of the cumulative proportions of item I (the last item: from the
# table of the last two items, the second item's margin).
suppressMessages({library(polycor); library(psych)})

ability <- na.omit(psychTools::ability)
write.table(ability, "ability16.dat", row.names = FALSE, col.names = FALSE)
sets <- list(bfi25 = as.matrix(read.table("bfi25.dat")),
             ability16 = as.matrix(read.table("ability16.dat")))

out <- file("polychoric_reference.txt", "w")
for (name in names(sets)) {
  x <- sets[[name]]
  lowest <- min(x); highest <- max(x)
  cats <- lowest:highest
  tab2 <- function(i, j) table(factor(x[, i], cats), factor(x[, j], cats))
  m <- ncol(x)
  for (i in 1:(m - 1)) for (j in (i + 1):m) {
    tab <- unclass(tab2(i, j))
    corrected <- any(tab == 0)
    if (corrected) tab <- tab + 0.5
    r <- polychor(tab, ML = FALSE)
    p <- NA
    if (!corrected) {
      p <- if (length(cats) == 2) tetrachoric(unclass(tab2(i, j)), correct = 0)$rho
           else polychoric(x[, c(i, j)], global = FALSE, correct = 0)$rho[1, 2]
    }
    cat(sprintf("pair %s %d %d %d %.10f %s\n", name, i - 1, j - 1, corrected, r,
                if (is.na(p)) "NA" else sprintf("%.10f", p)), file = out)
  }
  for (i in 1:m) {
    tab <- unclass(if (i < m) tab2(i, i + 1) else tab2(m - 1, m))
    if (any(tab == 0)) tab <- tab + 0.5
    margin <- if (i < m) rowSums(tab) else colSums(tab)
    tau <- qnorm(cumsum(margin)[-length(margin)] / sum(tab))
    for (c in seq_along(tau))
      cat(sprintf("threshold %s %d %d %.10f\n", name, i - 1, c - 1, tau[c]), file = out)
  }
}
close(out)
