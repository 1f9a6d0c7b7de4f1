# SPDX-License-Identifier: GPL-3.0-or-later
# The batch of the shared table: the CSV kestrum-cli --batch writes for the same case file,
# byte for byte; the rows keep their order on any number of threads; a refused or blank
# score is that row's error alone.

table_batch <- function() {
  b <- package_cases()$batch
  cases <- lapply(b$cases, function(column) vapply(column, function(v) {
    if (is.null(v)) NA_character_ else as.character(v)
  }, character(1)))
  list(controls = b$controls, cases = as.data.frame(cases, stringsAsFactors = FALSE))
}

test_that("the batch writes kestrum-cli --batch's CSV", {
  skip_if(cli_path() == "", "KESTRUM_CLI is not set")
  b <- table_batch()
  input <- tempfile(fileext = ".json")
  writeLines(jsonlite::toJSON(b$controls, auto_unbox = TRUE, digits = NA), input)
  file <- tempfile(fileext = ".csv")
  write.csv(b$cases, file, row.names = FALSE, na = "", quote = FALSE)
  cli <- run_cli(c(b$controls$analysis, "--input", input, "--batch", file))
  expect_identical(kestrum:::batch_run(b$cases, b$controls)$csv, cli$stdout)
  frame <- kestrum_batch(b$cases, b$controls)
  expect_identical(is.na(frame$error), c(TRUE, TRUE, TRUE, FALSE, TRUE, FALSE))
  expect_identical(names(frame), strsplit(sub("\n.*", "", cli$stdout), ",")[[1]])
  unlink(c(input, file))
})

test_that("rows keep their order on any number of threads", {
  b <- table_batch()
  b$controls$options$iterations <- 2000
  set.seed(3)
  cases <- data.frame(case_x = round(runif(16, 20, 60), 1), case_y = round(runif(16, 20, 50), 1))
  one <- kestrum_batch(cases, b$controls, threads = 1)
  four <- kestrum_batch(cases, b$controls, threads = 4)
  expect_identical(one, four)
  expect_identical(one$case_x, cases$case_x)
  single <- as.data.frame(kestrum_dissociation(
    n = 25, covariates = b$controls$covariates,
    tasks = list(list(name = "A", mean = 50, sd = 10, case = cases$case_x[7]),
                 list(name = "B", mean = 40, sd = 8, case = cases$case_y[7])),
    correlations = as_matrix(b$controls$correlations), iterations = 2000))
  expect_identical(one$bsdt_p_two_tailed[7], single$bsdt_p_two_tailed)
})

test_that("an unknown column is refused when there are covariates", {
  b <- table_batch()
  expect_error(kestrum_batch(data.frame(case_x = 30, case_y = 35, Aeg = 70), b$controls), "Aeg")
})
