# SPDX-License-Identifier: GPL-3.0-or-later
# R's strucchange breakpoints(y ~ x) (a line in each segment, its default minimal segment of 15 %
# of the points) timed on the record scan_record wrote, on its first 500, 1,000 and 2,000
# points and on the whole of it; each run stopped after LIMIT seconds.
#
#   Rscript bench/scan_strucchange.R DIR [LIMIT]
suppressMessages(library(strucchange))
args <- commandArgs(trailingOnly = TRUE)
record <- read.csv(file.path(args[1], "record.csv"))
limit <- if (length(args) > 1) as.numeric(args[2]) else 900
for (n in c(500, 1000, 2000, nrow(record))) {
  d <- data.frame(y = record$d18O[1:n], x = record$age[1:n])
  setTimeLimit(elapsed = limit, transient = TRUE)
  started <- proc.time()
  fit <- tryCatch(breakpoints(y ~ x, data = d), error = function(e) NULL)
  spent <- proc.time() - started
  used <- spent[["elapsed"]]
  cpu <- spent[["user.self"]] + spent[["sys.self"]]
  setTimeLimit(elapsed = Inf)
  if (is.null(fit)) {
    cat(sprintf("%d points: unfinished after %.0f s (%.0f s of CPU)\n", n, used, cpu))
  } else {
    cat(sprintf("%d points: %.1f s (%.1f s of CPU), %d breaks at ages %s\n", n, used, cpu,
                length(fit$breakpoints),
                paste(round(d$x[fit$breakpoints]), collapse = " ")))
  }
}
