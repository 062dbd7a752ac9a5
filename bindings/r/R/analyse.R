
setting_text <- function(value) {
  if (is.logical(value) && length(value) == 1 && !is.na(value)) {
    if (value) "on" else "off"
  } else {
    as.character(value)[1]
  }
}

scores_of <- function(x) {
  if (is.data.frame(x)) {
    usable <- vapply(x, function(col) is.numeric(col) || all(is.na(col)), logical(1))
    if (!all(usable)) stop(sprintf("column '%s' is not numeric", names(x)[!usable][1]), call. = FALSE)
    labels <- names(x)
    x <- matrix(as.numeric(unlist(x, use.names = FALSE)), nrow = nrow(x))
  } else {
    x <- as.matrix(x)
    if (!is.numeric(x) && !all(is.na(x))) stop("the data are not numbers", call. = FALSE)
    labels <- colnames(x)
    storage.mode(x) <- "double"
  }
  list(x = x, labels = if (is.null(labels)) character() else as.character(labels))
}

# Rows named by the variables' labels (or numbers), columns F1, F2, ...
name_matrices <- function(res) {
  variables <- vapply(res$variables, function(v) {
    if (is.null(v$label)) as.character(v$number) else v$label
  }, "")
  factor_names <- function(m) paste0("F", seq_len(ncol(m)))
  for (member in c("rotated_loadings", "unrotated_loadings", "structure")) {
    m <- res[[member]]
    if (is.matrix(m) && nrow(m) == length(variables)) dimnames(res[[member]]) <- list(variables, factor_names(m))
  }
  if (is.matrix(res$factor_correlations)) {
    f <- factor_names(res$factor_correlations)
    dimnames(res$factor_correlations) <- list(f, f)
  }
  res
}

analyse <- function(x, factors = NULL, ..., name = "data", progress = NULL) {
  data <- scores_of(x)
  settings <- list(...)
  if (length(settings) && (is.null(names(settings)) || any(names(settings) == "")))
    stop("settings are given as key = value", call. = FALSE)
  if (!is.null(factors)) settings <- c(list(factorCount = factors), settings)
  values <- vapply(settings, setting_text, "", USE.NAMES = FALSE)
  out <- analyse_scores(data$x, data$labels, names(settings) %||% character(), values,
                        as.character(name), progress)
  if (out$status != 0) stop(trimws(out$messages), call. = FALSE)
  res <- jsonlite::fromJSON(out$results, simplifyVector = TRUE, simplifyDataFrame = FALSE,
                            simplifyMatrix = TRUE)
  res$report <- out$report
  structure(name_matrices(res), class = "talvex")
}

`%||%` <- function(a, b) if (is.null(a)) b else a

print.talvex <- function(x, digits = 3, ...) {
  cat("Factors:", x$factors)
  if (!is.null(x$factors_advised_by)) cat(" (advised by ", x$factors_advised_by, ")", sep = "")
  cat("\n")
  loadings <- if (!is.null(x$rotated_loadings)) x$rotated_loadings else x$unrotated_loadings
  if (!is.null(loadings)) {
    cat(if (!is.null(x$rotated_loadings)) "\nRotated loadings:\n" else "\nLoadings:\n")
    print(round(loadings, digits))
  }
  fit <- Filter(function(v) is.numeric(v) && length(v) == 1, x$fit)
  if (length(fit)) {
    cat("\nFit:\n")
    print(round(unlist(fit), digits))
  }
  invisible(x)
}
