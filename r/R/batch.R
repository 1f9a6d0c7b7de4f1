# SPDX-License-Identifier: GPL-3.0-or-later
# A batch of cases against one control sample, as `kestrum-cli <analysis> --batch` runs a
# case file: columns "case" (deficit) or "case_x" and "case_y", one per covariate whose
# score varies (named as the covariate), optionally "id". The cases run side by side on
# every core; the rows keep their order; a refused or failed case has its message in the
# one "error" column.

# A cell as a case file's field: NA is empty, numbers in plain decimal notation.
cell_text <- function(x) {
  if (is.factor(x)) x <- as.character(x)
  out <- if (is.numeric(x)) format_cells(x) else as.character(x)
  out[is.na(x)] <- ""
  out
}

format_cells <- function(x) {
  vapply(x, function(v) if (is.na(v)) "" else format(v, digits = 15, scientific = FALSE, trim = TRUE),
         character(1))
}

controls_json <- function(controls) {
  kind <- controls$analysis
  if (is.null(kind)) stop("the controls must name the analysis: deficit, dissociation or udt", call. = FALSE)
  unknown <- setdiff(names(controls), c("analysis", "n", "tasks", "covariates", "correlations", "options"))
  if (length(unknown) > 0L) stop("unknown member '", unknown[1], "' in the controls", call. = FALSE)
  list(kind = kind, json = request_json(kind, controls$n, controls$tasks, controls$covariates,
                                        controls$correlations, as.list(controls$options)))
}

batch_run <- function(cases, controls, threads = 0L) {
  cases <- as.data.frame(cases, stringsAsFactors = FALSE)
  request <- controls_json(controls)
  names <- names(cases)
  id_column <- which(tolower(names) == "id")
  ids <- if (length(id_column)) cell_text(cases[[id_column[1]]]) else as.character(seq_len(nrow(cases)))
  keep <- setdiff(seq_along(names), id_column)
  values <- lapply(cases[keep], cell_text)
  out <- .kestrum_batch(request$kind, request$json, ids, names[keep], unname(values),
                        as.integer(threads))
  out$ids <- ids
  out$given <- cases[keep]
  out
}

kestrum_batch <- function(cases, controls, threads = 0L) {
  out <- batch_run(cases, controls, threads)
  n <- length(out$ids)
  given_names <- tolower(names(out$given))
  covariates <- controls$covariates
  if (is.data.frame(covariates)) covariates <- lapply(seq_len(nrow(covariates)), function(i) as.list(covariates[i, ]))
  columns <- list(id = out$ids)
  for (name in out$case_columns) {
    k <- match(tolower(name), given_names)
    if (!is.na(k)) {
      columns[[name]] <- out$given[[k]]
    } else {
      cov <- Filter(function(c) tolower(c$name) == tolower(name), covariates)
      columns[[name]] <- rep(cov[[1]]$case, n)
    }
  }
  for (name in out$columns[-seq_len(1L + length(out$case_columns))]) {
    columns[[name]] <- if (name == "error") out$errors else out$results[[name]]
  }
  frame <- as.data.frame(columns, optional = TRUE, stringsAsFactors = FALSE)
  row.names(frame) <- row.names(as.data.frame(cases))
  frame
}
