# Reference values for the Minimum Average Partial test (Velicer, 1976):
# the average over i < j of the squared partial correlations left after
# partialling out m principal components, m = 1..p - 1.
#   psych - psych::VSS(R, n = 8, rotate = "none", fm = "pc", n.obs = N)$map,
#           m = 1..8. psych partials the principal components of eigen(R)
#           whatever fm is, and averages over both triangles divided by
#           p(p - 1): the same number as ours (upper triangle over p(p - 1)/2).
#           This is the squared-partial version, not the fourth-power one.
#   base  - the same averages for every m = 1..p - 1 written here with eigen().
# The average at m = p (a residual of rounding noise) is not a reference.
# Run: Rscript map_reference.R (from this folder); writes map_reference.txt.
library(psych)

map_base <- function(r) {
  p <- nrow(r)
  e <- eigen(r, symmetric = TRUE)
  sapply(1:(p - 1), function(m) {
    a <- e$vectors[, 1:m, drop = FALSE] %*% diag(sqrt(e$values[1:m]), m)
    res <- r - a %*% t(a)
    d <- 1 / sqrt(diag(res))
    partials <- res * outer(d, d)
    sum(partials[upper.tri(partials)]^2) / (p * (p - 1) / 2)
  })
}

source("reference_sets.R")
sets <- reference_sets

con <- file("map_reference.txt", "w")
writeLines(c(
  "# MAP references, written by map_reference.R. Per matrix: 'NAME P ADVISED'",
  "# (ADVISED = which.min over m = 1..p - 1), then 'psych' with 8 averages from",
  "# psych::VSS(..., fm = \"pc\")$map, then 'base' with p - 1 averages (base R)."), con)
for (s in sets) {
  v <- VSS(s$r, n = 8, rotate = "none", fm = "pc", n.obs = s$n, plot = FALSE)$map
  b <- map_base(s$r)
  writeLines(sprintf("%s %d %d", s$name, nrow(s$r), which.min(b)), con)
  writeLines(paste("psych", paste(sprintf("%.17g", v), collapse = " ")), con)
  writeLines(paste("base", paste(sprintf("%.17g", b), collapse = " ")), con)
}
close(con)
