# SPDX-License-Identifier: GPL-3.0-or-later
# The batch from R on every core, timed, its CSV written for comparison with kestrum-cli
# --batch; then the overhead of one call of kestrum_dissociation() beyond the engine's own
# time for the same request.
#   Rscript bench_r.R DIR
library(kestrum)
d <- commandArgs(trailingOnly = TRUE)[1]
cases <- read.csv(file.path(d, "cases.csv"), colClasses = "character")
controls <- jsonlite::fromJSON(file.path(d, "controls.json"), simplifyVector = FALSE)
t <- system.time(out <- kestrum:::batch_run(cases, controls))
cat(sprintf("r_batch_seconds %.2f cpu_seconds %.2f\n", t[["elapsed"]], t[["user.self"]] + t[["sys.self"]]))
writeBin(charToRaw(out$csv), file.path(d, "r.csv"))

tasks <- list(list(name = "X", mean = 100, sd = 15, case = 80), list(name = "Y", mean = 50, sd = 10, case = 40))
m <- matrix(c(1, 0.6, 0.6, 1), 2)
# Rounds of calls interleaved with rounds of the engine alone, the fastest of each kept.
repeats <- 100
json <- kestrum:::request_json("dissociation", 20, tasks, NULL, m, list(iterations = 1000))
engine <- Inf
call <- Inf
for (round in 1:7) {
  engine <- min(engine, kestrum:::.kestrum_engine_seconds("dissociation", json, repeats))
  t <- system.time(for (i in seq_len(repeats))
    kestrum_dissociation(n = 20, tasks = tasks, correlations = m, iterations = 1000))[["elapsed"]]
  call <- min(call, t / repeats)
}
cat(sprintf("r_call_microseconds %.0f engine_microseconds %.0f overhead_microseconds %.0f\n",
            call * 1e6, engine * 1e6, (call - engine) * 1e6))
