items_file <- Sys.getenv("TALVEX_ITEMS")
program <- Sys.getenv("TALVEX_PROGRAM")

test_that("the results equal the program's results file", {
  skip_if(items_file == "" || program == "")
  json <- tempfile(fileext = ".json")
  report <- tempfile(fileext = ".txt")
  system2(program, c("analyse", items_file, "--report", report, "--json", json,
                     "--procedure", "PA"), stdout = FALSE, stderr = FALSE)
  theirs <- jsonlite::fromJSON(json, simplifyVector = TRUE, simplifyDataFrame = FALSE,
                               simplifyMatrix = TRUE)
  items <- read.csv(items_file)
  ours <- analyse(items, name = items_file, factorCountProcedure = "PA")
  expect_s3_class(ours, "talvex")
  for (member in setdiff(names(theirs), "report"))
    expect_equal(unname(ours[[member]]), unname(theirs[[member]]), tolerance = 0, label = member)
  expect_equal(rownames(ours$rotated_loadings), names(items))
  expect_equal(ours$missing_data$missing_per_variable, unname(colSums(is.na(items))))
  expect_output(print(ours), "Rotated loadings")
})

test_that("refused settings and data are errors with the program's message", {
  skip_if(items_file == "")
  items <- read.csv(items_file)
  expect_error(analyse(items, factorCont = 2), "did you mean factorCount")
  expect_error(analyse(transform(items, i3 = "x")), "'i3' is not numeric")
  expect_error(analyse(head(items, 5)), "complete cases")
})
