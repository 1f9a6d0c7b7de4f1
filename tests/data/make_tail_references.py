#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes tests/data/tails.json: upper tails of the standard normal and of Student's t at
# points where they are 1E-3, 1E-10, 1E-50 and 1E-300 (and a few ordinary points), computed
# with mpmath (python3-mpmath, 1.3) at 60 significant digits. Each point is first rounded to
# a double, and the tail is that of the rounded point, so the tests compare like with like.
#   normal:  Q(z) = erfc(z / sqrt 2) / 2
#   t:       Q(t) = I_x(nu/2, 1/2) / 2 with x = nu / (nu + t^2) (mpmath.betainc, regularized)
# Run: python3 tests/data/make_tail_references.py > tests/data/tails.json
import json
import mpmath as mp

mp.mp.dps = 60
TAILS = [mp.mpf('1e-3'), mp.mpf('1e-10'), mp.mpf('1e-50'), mp.mpf('1e-300')]


def normal_q(z):
    return mp.erfc(z / mp.sqrt(2)) / 2


def t_q(nu, t):
    if t < 0:
        return 1 - t_q(nu, -t)
    x = mp.mpf(nu) / (nu + t * t)
    return mp.betainc(mp.mpf(nu) / 2, mp.mpf(1) / 2, 0, x, regularized=True) / 2


def double(x):
    return float(mp.nstr(x, 25))


def record(**fields):
    return {k: (v if isinstance(v, int) else float(mp.nstr(v, 17)) if not isinstance(v, float) else v)
            for k, v in fields.items()}


def root_of_log(tail, p):
    """The point where tail equals p, by bisection on ln(tail) between 0 and a bound."""
    lo, hi = mp.mpf(0), mp.mpf(1)
    while tail(hi) > p:
        hi *= 2
    for _ in range(400):
        mid = (lo + hi) / 2
        if tail(mid) > p:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


normal = []
for p in TAILS:
    z = double(root_of_log(normal_q, p))
    normal.append(record(z=z, upper=normal_q(mp.mpf(z))))
for z in [0.0, 0.5, -1.25, 3.0, -8.0]:
    normal.append(record(z=z, upper=normal_q(mp.mpf(z))))

student = []
for nu in [3, 30, 3000]:
    for p in TAILS:
        t = double(root_of_log(lambda t: t_q(nu, t), p))
        student.append(record(df=nu, t=t, upper=t_q(nu, mp.mpf(t))))
for nu, t in [(1, 1.0), (1, 1e300), (2, 3.0), (2, -3.0), (4, 0.25), (5, 2.0), (11, -2.200985160082949),
              (112, 25.0), (999999, 6.0)]:
    student.append(record(df=nu, t=t, upper=t_q(nu, mp.mpf(t))))

print(json.dumps({"normal_upper": normal, "t_upper": student}, indent=1))
