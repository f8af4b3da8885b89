#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The two-parameter demo fit written as a user would with SciPy: the self-absorption
branching-fraction model in NumPy float64, fitted by scipy.optimize.least_squares with
MINPACK's Levenberg-Marquardt ('lm', forward-difference Jacobian). The speed reference of the
fit benchmark (bench_linemodel BM_FitTwoParameters): same file, start values and fixed inputs.

usage: scipy_fit.py DATA_FOLDER MEASUREMENT_FILE [repeat]
  log10 n_1 from 16 and T_exc from 1000 K; gas temperature 400 K, path 0.05 m, 39.948 u,
  4 Boltzmann levels. Prints the best and the median time per fit of `repeat` runs and the
  fitted values.
Needs python3-numpy and python3-scipy.
"""
import sys
import time

import numpy as np
from scipy.optimize import least_squares

E = 1.60217733e-19; K = 1.380658e-23; H = 6.6260755e-34; C = 299792458.0
EIGHT_PI_HC = 4.9924870002727175e-24; AMU = 1.6605402e-27


def read_levels(path):
    # three header lines; configuration in columns 1-23, term 24-36, then J and energy (eV)
    levels = []
    for line in open(path, encoding='latin-1').read().splitlines()[3:]:
        rest = line[36:].split()
        if len(rest) >= 2:
            levels.append((float(rest[1]), 2 * float(rest[0]) + 1))
    return levels


def read_lines(path):
    # five header lines; El Ion wl sigma A(1e8/s) acc - loggf grade E_low E_up Jl Ju gl gu ...
    lines = {}
    for line in open(path, encoding='latin-1').read().splitlines()[5:]:
        f = line.split()
        if len(f) >= 15:
            lines[f[2]] = dict(A=float(f[4]) * 1e8, wl=float(f[2]), elow=float(f[9]),
                               eup=float(f[10]), gl=float(f[13]), gu=float(f[14]))
    return lines


def main():
    folder, measurement = sys.argv[1:3]
    repeat = int(sys.argv[3]) if len(sys.argv) > 3 else 200
    levels = read_levels(folder + '/Ar_levels.txt')
    table = read_lines(folder + '/Ar_I.txt')
    energies = [e for e, _ in levels]
    selected = []
    for line in open(measurement, encoding='latin-1'):
        f = line.split()
        if len(f) >= 2:
            d = table[f[0]]
            selected.append((d, float(f[1]), energies.index(d['eup']), energies.index(d['elow'])))
    lam = np.array([d['wl'] for d, *_ in selected]) * 1e-9
    A = np.array([d['A'] for d, *_ in selected])
    gi = np.array([d['gl'] for d, *_ in selected])
    gk = np.array([d['gu'] for d, *_ in selected])
    up = np.array([u for *_, u, _ in selected])
    low = np.array([l for *_, l in selected])
    il = np.array([i for _, i, _, _ in selected]) * lam
    measured = il / np.bincount(up, il, len(levels))[up]
    G = np.array([g for _, g in levels])
    En = np.array(energies)
    nb = min(4, len(levels))
    v = np.sqrt(2 * K * 400.0 / (39.948 * AMU))
    sigma = lam**5 * (gk / gi) / EIGHT_PI_HC * A * H / lam * C / (np.sqrt(np.pi) * v * lam)
    weighted = measured > 0

    def residuals(x):
        pops = np.zeros(len(levels))
        pops[:nb] = 10.0 ** x[0] * G[:nb] / G[0] * np.exp(-E * (En[:nb] - En[0]) / (K * abs(x[1])))
        tau = pops[low] * sigma * 0.05
        eff = (2 - np.exp(-0.001 * tau)) / (1 + tau) * A
        return (eff / np.bincount(up, eff, len(levels))[up] - measured)[weighted]

    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fit = least_squares(residuals, [16.0, 1000.0], method='lm')
        times.append(time.perf_counter() - t0)
    print(f"scipy least_squares fit over {len(selected)} lines: {min(times) * 1e3:.2f} ms best, "
          f"{np.median(times) * 1e3:.2f} ms median of {repeat}; log10 n_1 {fit.x[0]:.4f}, "
          f"T {fit.x[1]:.0f} K, {fit.nfev} evaluations")


if __name__ == '__main__':
    main()
