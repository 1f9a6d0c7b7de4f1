#!/usr/bin/env python3
"""Exact power of the test for a deficit, computed independently with mpmath (40 digits)
for tests/test_deficit_power.cpp; writes tests/data/deficit_power.json.

The test rejects when t < -c (one tail) or |t| > c (two tails), c the Student t quantile
for alpha (alpha/2). The case model gives the law of T' = t k: fixed, k = sqrt(N + 1),
T' non-central t with N - 1 df and non-centrality delta sqrt(N); random, k = 1,
non-centrality delta / sqrt(1 + 1/N). The non-central t distribution function is the
integral over the chi-square: P(T' <= x) = int_0^inf Phi(x sqrt(v/df) - ncp) f(v; df) dv.
"""
import json
import mpmath as mp

mp.mp.dps = 40


def t_cdf(x, df):
    df = mp.mpf(df)
    y = df / (df + x * x)
    tail = mp.betainc(df / 2, mp.mpf(1) / 2, 0, y, regularized=True) / 2
    return 1 - tail if x > 0 else tail


def t_quantile(p, df):
    return mp.findroot(lambda x: t_cdf(x, df) - p, mp.mpf(2))


def nct_cdf(x, df, ncp):
    df = mp.mpf(df)
    def f(v):
        return mp.ncdf(x * mp.sqrt(v / df) - ncp) * mp.exp(
            (df / 2 - 1) * mp.log(v) - v / 2 - (df / 2) * mp.log(2) - mp.loggamma(df / 2))
    mode = max(df - 2, mp.mpf(0))
    sd = mp.sqrt(2 * df)
    pts = [0] + [p for p in (mode - 8 * sd, mode - 2 * sd, mode, mode + 2 * sd, mode + 8 * sd)
                 if p > 0] + [mp.inf]
    return mp.quad(f, pts)


def power(n, delta, alpha, two, case):
    df = n - 1
    c = t_quantile(1 - (alpha / 2 if two else alpha), df)
    if case == "fixed":
        k, ncp = mp.sqrt(n + 1), delta * mp.sqrt(n)
    else:
        k, ncp = 1, delta / mp.sqrt(1 + mp.mpf(1) / n)
    p = nct_cdf(-c * k, df, ncp)
    if two:
        p += 1 - nct_cdf(c * k, df, ncp)
    return p


rows = []
for n in (3, 5, 10, 20, 50, 200):
    for delta in ("-3", "-1.5", "0", "0.8"):
        for alpha in ("0.05", "0.01"):
            for two in (False, True):
                for case in ("fixed", "random"):
                    if n == 200 and alpha == "0.01":
                        continue
                    p = power(n, mp.mpf(delta), mp.mpf(alpha), two, case)
                    rows.append({"n": n, "delta": float(delta), "alpha": float(alpha),
                                 "two_tailed": int(two), "random_case": int(case == "random"),
                                 "power": float(p)})
with open(__file__.replace("make_power_references.py", "deficit_power.json"), "w") as out:
    # Numbers only (tests/reference_data.h): flags as 0/1, power to double precision.
    json.dump({"table": rows}, out, indent=0)
