# SPDX-License-Identifier: GPL-3.0-or-later
# The shared table of cases (tests/data/package_cases.json, copied into the package when it
# is assembled) and kestrum-cli, whose outputs for the same requests the package must
# reproduce. KESTRUM_CLI names the binary built from the same checkout
# (scripts/test_packages.sh sets it); without it the comparisons are skipped.

package_cases <- function() {
  jsonlite::fromJSON(test_path("package_cases.json"), simplifyVector = FALSE)
}

cli_path <- function() Sys.getenv("KESTRUM_CLI")

# Runs kestrum-cli; its standard output and error as whole texts, and its status.
run_cli <- function(args) {
  out <- tempfile()
  err <- tempfile()
  on.exit(unlink(c(out, err)))
  status <- system2(cli_path(), args, stdout = out, stderr = err)
  read <- function(f) if (file.size(f) > 0) readChar(f, file.size(f), useBytes = TRUE) else ""
  list(status = status, stdout = read(out), stderr = read(err))
}

write_input <- function(case) {
  path <- tempfile(fileext = ".json")
  input <- c(list(analysis = case$analysis), case$input)
  writeLines(jsonlite::toJSON(input, auto_unbox = TRUE, digits = NA), path)
  path
}

# A correlation matrix of the table as an R matrix: rows (square or lower triangle) filled
# out symmetrically, or named rows and columns.
as_matrix <- function(m) {
  if (!is.null(m$names)) {
    x <- do.call(rbind, lapply(m$matrix, unlist))
    dimnames(x) <- list(unlist(m$names), unlist(m$names))
    return(x)
  }
  k <- length(m)
  x <- diag(k)
  for (i in seq_len(k)) for (j in seq_along(m[[i]])) {
    x[i, j] <- m[[i]][[j]]
    x[j, i] <- m[[i]][[j]]
  }
  x
}

call_case <- function(case) {
  input <- case$input
  args <- list(n = input$n, tasks = input$tasks, covariates = input$covariates)
  if (!is.null(input$correlations)) args$correlations <- as_matrix(input$correlations)
  args <- c(args, input$options)
  f <- switch(case$analysis, deficit = kestrum_deficit, dissociation = kestrum_dissociation,
              udt = kestrum_udt)
  if (case$analysis == "udt") args$covariates <- NULL
  do.call(f, args)
}
