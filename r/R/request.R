# SPDX-License-Identifier: GPL-3.0-or-later
# Arguments into the command line's JSON input text (docs/toolkit_input.md), so that the
# engine reads them with the command line's own reader and rules.

json_string <- function(x) {
  x <- enc2utf8(as.character(x))
  x <- gsub("\\", "\\\\", x, fixed = TRUE)
  x <- gsub("\"", "\\\"", x, fixed = TRUE)
  x <- gsub("\n", "\\n", x, fixed = TRUE)
  x <- gsub("\r", "\\r", x, fixed = TRUE)
  x <- gsub("\t", "\\t", x, fixed = TRUE)
  paste0("\"", x, "\"")
}

# A figure: a text stays a text; a number in plain decimal notation (15 significant digits,
# as R prints it), never in exponent form, which the field rules would refuse.
json_figure <- function(x) {
  if (length(x) != 1L) stop("each figure must be a single number or text", call. = FALSE)
  if (is.character(x)) return(json_string(x))
  if (is.factor(x)) return(json_string(as.character(x)))
  if (!is.numeric(x) || is.na(x) || !is.finite(x))
    stop("a figure must be a finite number or a text, not ", deparse(x), call. = FALSE)
  format(x, digits = 15, scientific = FALSE, trim = TRUE)
}

json_object <- function(members) {
  members <- members[!vapply(members, is.null, logical(1))]
  paste0("{", paste0(json_string(names(members)), ": ", unlist(members), collapse = ", "), "}")
}

json_array <- function(items) paste0("[", paste(unlist(items), collapse = ", "), "]")

# Tasks or covariates: a list of lists (name, mean, sd, case), one such list, or a data
# frame with those columns, one row per variable.
json_variables <- function(v, what) {
  if (is.null(v) || length(v) == 0L) return(NULL)
  if (is.data.frame(v)) v <- lapply(seq_len(nrow(v)), function(i) as.list(v[i, , drop = FALSE]))
  else if (!is.null(names(v))) v <- list(v)
  json_array(lapply(v, function(item) {
    if (!is.list(item) || is.null(names(item)))
      stop("each of the ", what, " must be a list with name, mean, sd and case", call. = FALSE)
    json_object(Map(function(key, value) {
      if (key == "name") json_string(value) else json_figure(value)
    }, names(item), item))
  }))
}

# A correlation matrix: a matrix (named rows and columns in any order are given by name),
# or a list of rows (square or lower triangle).
json_correlations <- function(m) {
  if (is.null(m)) return(NULL)
  rows <- function(x) json_array(lapply(x, function(r) json_array(lapply(r, json_figure))))
  if (is.matrix(m) || is.data.frame(m)) {
    m <- as.matrix(m)
    cells <- lapply(seq_len(nrow(m)), function(i) as.list(m[i, ]))
    names <- colnames(m)
    if (!is.null(names)) {
      if (!is.null(rownames(m)) && !identical(rownames(m), names)) {
        if (!setequal(rownames(m), names))
          stop("the correlation matrix's rows and columns must name the same variables", call. = FALSE)
        cells <- lapply(names, function(n) as.list(m[n, ]))
      }
      return(json_object(list(names = json_array(lapply(names, json_string)), matrix = rows(cells))))
    }
    return(rows(cells))
  }
  rows(m)
}

kOption_names <- c("prior", "tail", "criteria", "iterations", "udt")

json_options <- function(options) {
  options <- options[!vapply(options, is.null, logical(1))]
  if (length(options) == 0L) return(NULL)
  unknown <- setdiff(names(options), kOption_names)
  if (length(unknown) > 0L)
    stop("unknown option '", unknown[1], "'; the options are ", paste(kOption_names, collapse = ", "), call. = FALSE)
  json_object(Map(function(key, value) {
    if (is.logical(value)) { if (isTRUE(value)) "true" else "false" }
    else if (key == "iterations" && is.numeric(value)) format(value, scientific = FALSE, trim = TRUE)
    else json_string(value)
  }, names(options), options))
}

request_json <- function(kind, n, tasks, covariates, correlations, options) {
  json_object(list(
    analysis = json_string(kind), n = json_figure(n),
    covariates = json_variables(covariates, "covariates"),
    tasks = json_variables(tasks, "tasks"),
    correlations = json_correlations(correlations),
    options = json_options(options)))
}
