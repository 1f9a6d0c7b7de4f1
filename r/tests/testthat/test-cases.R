# SPDX-License-Identifier: GPL-3.0-or-later
# Every case of the shared table: the package's figures equal kestrum-cli's JSON bit for
# bit, print() writes its report byte for byte, and a refusal is an R error with the
# message kestrum-cli prints.

same_value <- function(got, want) {
  if (is.null(want)) return(is.na(got))
  if (is.double(got) || is.double(want)) return(identical(as.double(got), as.double(want)))
  identical(got, want)
}

test_that("every case equals kestrum-cli's JSON and report", {
  skip_if(cli_path() == "", "KESTRUM_CLI is not set")
  for (case in package_cases()$cases) {
    input <- write_input(case)
    json <- run_cli(c(case$analysis, "--input", input, "--format", "json"))
    if (startsWith(case$label, "refused")) {
      expect_true(json$status != 0, label = case$label)
      message <- sub(paste0("^kestrum-cli: (", input, ": )?"), "", sub("\n$", "", json$stderr))
      err <- tryCatch({ call_case(case); NULL }, error = function(e) conditionMessage(e))
      expect_identical(err, message, label = case$label)
      next
    }
    expect_equal(json$status, 0, label = case$label)
    r <- call_case(case)
    expect_identical(paste0(r$json, "\n"), json$stdout, label = case$label)
    record <- jsonlite::fromJSON(json$stdout, simplifyVector = FALSE)
    for (i in seq_along(r$figures)) {
      want <- if (r$groups[i] == "") record[[r$keys[i]]] else record[[r$groups[i]]][[r$keys[i]]]
      expect_true(same_value(r$figures[[i]], want),
                  label = paste(case$label, names(r$figures)[i]))
    }
    report <- run_cli(c(case$analysis, "--input", input))
    expect_identical(paste0(capture.output(print(r)), "\n", collapse = ""), report$stdout,
                     label = case$label)
    unlink(input)
  }
})

test_that("as.data.frame is one row of the figures under their column names", {
  r <- kestrum_deficit(n = 10, tasks = list(name = "Naming", mean = 50, sd = 10, case = 31),
                       iterations = 1000)
  frame <- as.data.frame(r)
  expect_identical(dim(frame), c(1L, length(r$figures)))
  expect_identical(names(frame), names(r$figures))
  expect_true(frame$t_value < 0)
})

test_that("a matrix's named rows may come in any order", {
  tasks <- data.frame(name = c("A", "B"), mean = c(50, 40), sd = c(10, 8), case = c(35, 41))
  m <- matrix(c(1, 0.6, 0.6, 1), 2, dimnames = list(c("B", "A"), c("B", "A")))
  a <- kestrum_dissociation(n = 20, tasks = tasks, correlations = m, iterations = 2000)
  b <- kestrum_dissociation(n = 20, tasks = tasks, correlations = diag(2) + 0.6 * (1 - diag(2)),
                            iterations = 2000)
  expect_identical(a$json, b$json)
  expect_error(kestrum_deficit(n = 10, tasks = tasks[1, ], tails = "one"))
})

test_that("plot draws both pictures, and the difference test has none", {
  r <- kestrum_dissociation(n = 20, tasks = list(list(name = "X", mean = 100, sd = 15, case = 80),
                                                  list(name = "Y", mean = 50, sd = 10, case = 40)),
                            correlations = matrix(c(1, 0.6, 0.6, 1), 2), iterations = 2000)
  path <- tempfile(fileext = ".pdf")
  grDevices::pdf(path)
  expect_invisible(plot(r))
  grDevices::dev.off()
  expect_gt(file.size(path), 1000)
  unlink(path)
  expect_length(r$plots$case$ellipses, 3)
  u <- kestrum_udt(n = 18, tasks = list(list(name = "L", mean = 12, sd = 2, case = 7),
                                        list(name = "R", mean = 13, sd = 2, case = 12)),
                   correlations = matrix(c(1, 0.8, 0.8, 1), 2))
  expect_error(plot(u), "no pictures")
})
