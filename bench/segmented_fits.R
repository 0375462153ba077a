# SPDX-License-Identifier: GPL-3.0-or-later
# The peer's fits of the broken-line series: segmented(lm(y ~ x), seg.Z = ~x, npsi = 2) on every
# CSV file of a folder, timed inside R. Prints file,sq_dist,seconds (NA: the fit failed), then
# the total.
#   Rscript segmented_fits.R FOLDER
suppressPackageStartupMessages(library(segmented))
folder <- commandArgs(trailingOnly = TRUE)[1]
files <- sort(list.files(folder, pattern = "\\.csv$", full.names = TRUE))
total <- 0
for (f in files) {
    d <- read.csv(f)
    started <- proc.time()[["elapsed"]]
    fit <- tryCatch(segmented(lm(y ~ x, data = d), seg.Z = ~x, npsi = 2), error = function(e) NULL)
    took <- proc.time()[["elapsed"]] - started
    total <- total + took
    sq <- if (is.null(fit) || is.null(fit$psi)) NA else sum(residuals(fit)^2)
    cat(sprintf("%s,%.10g,%.4f\n", basename(f), sq, took))
}
cat(sprintf("total,,%.3f\n", total))
