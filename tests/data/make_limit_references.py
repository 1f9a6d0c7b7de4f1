#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes tests/data/limits.json: 95% limits on the non-centrality delta of a non-central t
# with df degrees of freedom at an observed value t_obs (F(t_obs; df, delta) = 0.975 for
# the lower limit, 0.025 for the upper), for the issue cases of the deficit test and the
# unstandardized difference test, computed with mpmath (python3-mpmath 1.3) at 40 digits.
# The distribution function is the integral over the chi-square variable,
#   F(t; nu, delta) = int_0^inf Phi(t sqrt(u / nu) - delta) chi2_nu(u) du,
# independent of the Poisson-mixture sums the program uses; the root by the secant method
# from the normal approximation, to 1E-30.
# Each record: n (the control sample), t_obs, the limits delta_lower and delta_upper, and
# what the program reports from them: zcc = delta / sqrt(n), pct = 100 Phi(delta / sqrt(n)).
# Run: python3 tests/data/make_limit_references.py > tests/data/limits.json
import json
import mpmath as mp

mp.mp.dps = 40


def nct_cdf(t, nu, delta):
    nu = mp.mpf(nu)
    dens = lambda u: mp.exp((nu / 2 - 1) * mp.log(u) - u / 2 - (nu / 2) * mp.log(2) - mp.loggamma(nu / 2))
    f = lambda u: mp.ncdf(t * mp.sqrt(u / nu) - delta) * dens(u)
    return mp.quad(f, [0, nu / 4, nu / 2, nu, 2 * nu, 4 * nu, mp.inf])


def limit(t, nu, prob):
    guess = t - mp.sqrt(2) * mp.erfinv(2 * prob - 1) * mp.sqrt(1 + t * t / (2 * nu))
    return mp.findroot(lambda d: nct_cdf(t, nu, d) - prob, (guess, guess + mp.mpf('0.01')),
                       solver='secant', tol=mp.mpf(10) ** -30)


def case(name, n, zcc):
    n = mp.mpf(n)
    t_obs = mp.sqrt(n) * zcc
    lo = limit(t_obs, n - 1, mp.mpf('0.975'))
    hi = limit(t_obs, n - 1, mp.mpf('0.025'))
    out = {"n": float(n), "zcc": float(zcc), "delta_lower": float(lo), "delta_upper": float(hi),
           "zcc_lower": float(lo / mp.sqrt(n)), "zcc_upper": float(hi / mp.sqrt(n)),
           "pct_lower": float(100 * mp.ncdf(lo / mp.sqrt(n))),
           "pct_upper": float(100 * mp.ncdf(hi / mp.sqrt(n)))}
    return name, out


cases = []
# Issue row 5: deficit --mean 936.83 --sd 48.270 --case 550.67 --n 12.
cases.append(case("row5", 12, (mp.mpf('550.67') - mp.mpf('936.83')) / mp.mpf('48.270')))
# Issue row 6: udt --mean-x 10.444 --sd-x 7.2794 --case-x 55.983 --mean-y 325.49
# --sd-y 32.823 --case-y 363.45 --r 0.1629 --n 72: the deficit test on the difference.
sx, sy, r = mp.mpf('7.2794'), mp.mpf('32.823'), mp.mpf('0.1629')
sd = mp.sqrt(sx * sx + sy * sy - 2 * r * sx * sy)
cases.append(case("row6", 72, ((mp.mpf('55.983') - mp.mpf('363.45')) - (mp.mpf('10.444') - mp.mpf('325.49'))) / sd))
# Issue row 6, second part: z = 0 at N = 100000, where the limits are +/-1.959964.../sqrt(N).
cases.append(case("row6_zero", 100000, mp.mpf(0)))
# Ordinary cases: N = 20 and a case 2 SD below the mean; N = 5, 1 SD above.
cases.append(case("n20_minus2", 20, mp.mpf(-2)))
cases.append(case("n5_plus1", 5, mp.mpf(1)))

print(json.dumps({"limits": [dict(v) for _, v in cases]}, indent=1))
for name, v in cases:
    import sys
    print(name, v, file=sys.stderr)
