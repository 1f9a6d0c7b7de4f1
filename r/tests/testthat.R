library(testthat)
library(kestrum)
test_check("kestrum")
