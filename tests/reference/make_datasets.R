# Writes the public data sets used as reference inputs in the tests.
#   bfi25.dat     - psychTools::bfi, the 25 personality items (1..6 Likert),
#                   complete cases only, one participant per line.
#   harman74.cor  - datasets::Harman74.cor, 24 psychological tests (N = 145),
#                   the correlation matrix one row per line.
# Run: Rscript make_datasets.R (from this folder).
library(psychTools)
items <- na.omit(psychTools::bfi[, 1:25])
write.table(items, "bfi25.dat", row.names = FALSE, col.names = FALSE)
r <- datasets::Harman74.cor$cov
write.table(format(r, nsmall = 3), "harman74.cor", row.names = FALSE, col.names = FALSE, quote = FALSE)
cat(nrow(items), "complete cases;", datasets::Harman74.cor$n.obs, "participants in Harman74\n")
