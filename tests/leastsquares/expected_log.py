#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes data/fit_log.txt, the expected minimisation log of the fit in marqlog_test.cpp.

An independent re-computation of the same Levenberg-Marquardt run in 40-digit decimal
arithmetic: model y = p1 * exp(p2 * x), five points, start (10, -0.3), default controls,
iteration limit 3. Every printed figure is checked to be far from a rounding tie, so the
80-bit program must print the same digits.
"""
from decimal import Decimal as D, getcontext
from pathlib import Path

getcontext().prec = 40

X = [D(1), D(2), D(3), D(4), D(5)]
Y = [D("8.2"), D("4.9"), D("3.1"), D("1.8"), D("1.15")]
W = [D(1)] * 5
START = [D(10), D("-0.3")]
LIMIT = 3


def model(p, x):
    return p[0] * (p[1] * x).exp()


def gradient_row(p, x):
    e = (p[1] * x).exp()
    return [e, p[0] * x * e]


def sum_of_squares(p):
    return sum(w * (y - model(p, x)) ** 2 for x, y, w in zip(X, Y, W))


def solve2(a, b):
    """Solves the symmetric 2x2 system [[a11, a21], [a21, a22]] x = b."""
    a11, a21, a22 = a
    det = a11 * a22 - a21 * a21
    return [(a22 * b[0] - a21 * b[1]) / det, (a11 * b[1] - a21 * b[0]) / det]


def fit():
    lam = D("1e-4")
    p = list(START)
    s_old = sum_of_squares(p)
    log = [(0, list(p), s_old)]
    for iteration in range(1, LIMIT + 1):
        a11 = a21 = a22 = D(0)
        g = [D(0), D(0)]
        for x, y, w in zip(X, Y, W):
            dy = gradient_row(p, x)
            r = y - model(p, x)
            g = [g[0] + dy[0] * r * w, g[1] + dy[1] * r * w]
            a11 += dy[0] * dy[0] * w
            a21 += dy[1] * dy[0] * w
            a22 += dy[1] * dy[1] * w
        unscaled = (a11, a21, a22)
        d = [a11.sqrt(), a22.sqrt()]
        scaled_g = [g[0] / d[0], g[1] / d[1]]
        c = a21 / d[0] / d[1]
        accepted = False
        while not accepted:
            for first, damping in ((True, lam * D("0.01")), (False, lam)):
                step = solve2((1 + damping, c, 1 + damping), scaled_g)
                trial = [p[0] + step[0] / d[0], p[1] + step[1] / d[1]]
                s = sum_of_squares(trial)
                if s <= s_old:
                    accepted = True
                    break
            if not accepted:
                lam *= 100
        p, s_old = trial, s
        if first:
            lam *= D("0.01")
        log.append((iteration, list(p), s_old))
    return log, unscaled, p, s_old


def scientific(value, digits, exponent_digits):
    """One digit, '.', digits - 1 decimals, 'E', the exponent's sign and its digits."""
    text = f"{value:.{digits - 1}E}"
    mantissa, exponent = text.split("E")
    check_tie(value, digits)
    sign = "-" if int(exponent) < 0 else "+"
    return f"{mantissa}E{sign}{abs(int(exponent)):0{exponent_digits}d}"


def check_tie(value, digits):
    """Fails when the value lies within 1e-12 (relative) of a rounding boundary."""
    if value == 0:
        return
    scaled = abs(value).scaleb(-abs(value).adjusted() + digits - 1)
    fraction = scaled - int(scaled)
    assert abs(fraction - D("0.5")) > D("1e-12"), value


def width_real(value, width):
    digits = width - 8
    body = scientific(abs(value), digits, 4)
    return ("-" if value < 0 else " ") + body


def report_real(value):
    body = ("-" if value < 0 else "") + scientific(abs(value), 4, 3)
    return f"{body:>15}"


def fixed2(value):
    check_tie(value, 3 if abs(value) >= 1 else 2)
    return f"{value:6.2f}"


def main():
    log, (a11, a21, a22), p, s = fit()
    det = a11 * a22 - a21 * a21
    cov = [[a22 / det, -a21 / det], [-a21 / det, a11 / det]]
    n, np_ = len(X), 2
    lines = ["=" * 84]
    lines.append("iter" + f"{'log10(n_1)':>12}" + f"{'Te':>12}" + f"{'sumr':>17}")
    lines.append("-" * 84)
    for iteration, q, sq in log:
        lines.append(f"{iteration:3d}" + "".join(" " + width_real(v, 12) for v in q) + " " +
                     width_real(sq, 15))
    rule = lambda k: "-" * k + " " * (80 - k)
    lines += ["", "Minimization report : given number of iteration was achieved", "",
              "Results :", rule(9), "Parameter            Value               Error", rule(59)]
    for i, name in enumerate(["log10(n_1)", "Te"]):
        error = (s / (n - np_) * cov[i][i]).sqrt()
        lines.append(f"  {name:<10} {report_real(p[i])} {report_real(error)}")
    lines += ["", "Correlation coefficients :", rule(25), "   " + "     1" + "     2"]
    for i in range(2):
        row = f"{i + 1:2d} "
        for k in range(i + 1):
            row += fixed2(cov[i][k] / (cov[i][i] * cov[k][k]).sqrt())
        lines.append(row)
    lines.append("")
    out = Path(__file__).with_name("data") / "fit_log.txt"
    out.write_bytes(("\r\n".join(lines) + "\r\n").encode("ascii"))


if __name__ == "__main__":
    main()
