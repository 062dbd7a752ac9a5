# The two reference matrices shared by the fixture scripts: the Pearson
# correlations of bfi25.dat (2436 complete cases) and the Harman74 matrix
# (N = 145), both made by make_datasets.R.
bfi <- as.matrix(read.table("bfi25.dat"))
reference_sets <- list(
  bfi25 = list(name = "bfi25", r = cor(bfi), n = nrow(bfi)),
  harman74 = list(name = "harman74", r = as.matrix(read.table("harman74.cor")), n = 145)
)
