# SPDX-License-Identifier: GPL-3.0-or-later
# The program's two pictures with base graphics, from the core's plot geometry: the case
# among the controls (coverage ellipses, the line z_x = z_y, the case's point) and the
# posterior of the effect size (histogram of the draws as densities, the point estimate and
# the credible interval). Nothing is computed here but where to draw.

draw_case_panel <- function(c) {
  plot.new()
  plot.window(xlim = c(c$x_axis$lower, c$x_axis$upper),
              ylim = c(c$y_axis$lower, c$y_axis$upper), asp = 1)
  axis(1, at = c$x_axis$ticks)
  axis(2, at = c$y_axis$ticks)
  box()
  abline(0, 1, lty = 2, col = "grey40")
  for (e in c$ellipses) {
    lines(c(e$x, e$x[1]), c(e$y, e$y[1]), col = "steelblue")
    text(e$label_at[1], e$label_at[2], e$label, pos = 3, cex = 0.7, col = "steelblue")
  }
  points(c$case[1], c$case[2], pch = 19, col = "firebrick")
  legend("bottomright", bty = "n", cex = 0.7,
         legend = c(c$regions_label, c$diagonal_label, c$case_label),
         col = c("steelblue", "grey40", "firebrick"), lty = c(1, 2, NA), pch = c(NA, NA, 19))
  title(xlab = c$x_title, ylab = c$y_title)
  mtext(c$caption, side = 3, line = 0.5, cex = 0.7)
}

draw_posterior_panel <- function(p) {
  plot.new()
  plot.window(xlim = c(p$x_axis$lower, p$x_axis$upper), ylim = c(p$y_axis$lower, p$y_axis$upper))
  axis(1, at = p$x_axis$ticks)
  axis(2, at = p$y_axis$ticks)
  box()
  rect(p$left, 0, p$right, p$density, col = "grey85", border = "grey55")
  abline(v = p$estimate, col = "firebrick", lwd = 2)
  abline(v = p$interval, col = "firebrick", lty = 2)
  legend("topright", bty = "n", cex = 0.7, legend = c(p$estimate_label, p$interval_label),
         col = "firebrick", lty = c(1, 2), lwd = c(2, 1))
  title(xlab = p$x_title, ylab = p$y_title)
  mtext(p$caption, side = 3, line = 0.5, cex = 0.7)
}

plot.kestrum_result <- function(x, ...) {
  if (is.null(x$plots)) stop("the unstandardized difference test has no pictures", call. = FALSE)
  old <- par(mfrow = c(1, 2), oma = c(0, 0, 2, 0))
  on.exit(par(old))
  draw_case_panel(x$plots$case)
  draw_posterior_panel(x$plots$posterior)
  mtext(x$plots$title, outer = TRUE, cex = 0.8)
  invisible(x)
}
