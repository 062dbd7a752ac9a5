library(testthat)
library(talvex)
test_check("talvex")
