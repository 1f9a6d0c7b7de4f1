# SPDX-License-Identifier: GPL-3.0-or-later
# The analyses: arguments named as in the JSON input; the result prints as the program's
# report, becomes one row of the record's figures, and plots the program's two pictures.

run_analysis <- function(kind, n, tasks, covariates, correlations, options) {
  run <- .kestrum_run(kind, request_json(kind, n, tasks, covariates, correlations, options))
  for (w in run$warnings) warning(w, call. = FALSE)
  structure(list(kind = kind, report = run$report, figures = run$figures, json = run$json,
                 groups = run$groups, keys = run$keys, warnings = run$warnings,
                 plots = run$plots), class = "kestrum_result")
}

kestrum_deficit <- function(n, tasks, covariates = NULL, correlations = NULL, tail = NULL,
                            prior = NULL, iterations = NULL) {
  run_analysis("deficit", n, tasks, covariates, correlations,
               list(tail = tail, prior = prior, iterations = iterations))
}

kestrum_dissociation <- function(n, tasks, covariates = NULL, correlations = NULL,
                                 tail = NULL, prior = NULL, criteria = NULL,
                                 iterations = NULL, udt = NULL) {
  run_analysis("dissociation", n, tasks, covariates, correlations,
               list(tail = tail, prior = prior, criteria = criteria, iterations = iterations,
                    udt = udt))
}

kestrum_udt <- function(n, tasks, correlations = NULL, tail = NULL) {
  run_analysis("udt", n, tasks, NULL, correlations, list(tail = tail))
}

print.kestrum_result <- function(x, ...) {
  cat(x$report)
  invisible(x)
}

as.data.frame.kestrum_result <- function(x, row.names = NULL, optional = FALSE, ...) {
  values <- lapply(x$figures, function(v) if (is.null(v)) NA else v)
  as.data.frame(values, row.names = row.names, optional = TRUE, stringsAsFactors = FALSE)
}
