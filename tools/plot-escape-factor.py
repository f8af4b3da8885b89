#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws docs/escape-factor.png from the table of zeltfit-escapefactor: the model's escape
factor and the exact one of a Doppler line over tau, and their relative deviation. Debian's
python3-matplotlib; run from the repository after a build:

    tools/plot-escape-factor.py [build/bin/zeltfit-escapefactor] [docs/escape-factor.png]
"""

import subprocess
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (after the backend is chosen)

program = sys.argv[1] if len(sys.argv) > 1 else "build/bin/zeltfit-escapefactor"
output = sys.argv[2] if len(sys.argv) > 2 else "docs/escape-factor.png"

lines = subprocess.run([program], check=True, capture_output=True, text=True).stdout.splitlines()
rows = [line.split("\t") for line in lines[2:] if not line.startswith("#")]
tau, model, exact, deviation, ratio = ([float(row[i]) for row in rows] for i in range(5))

figure, (top, bottom) = plt.subplots(2, 1, figsize=(7, 6.5), sharex=True,
                                     gridspec_kw={"height_ratios": [3, 2]})
top.loglog(tau, exact, color="black", label="exact: homogeneous source, Doppler profile")
top.loglog(tau, model, color="tab:blue", linestyle="--",
           label="model: (2 - exp(-0.001 τ)) / (1 + τ)")
top.set_ylabel("escape factor Λ(τ)")
top.legend(loc="lower left")
top.grid(True, which="both", alpha=0.3)
bottom.semilogx(tau, [100 * d for d in deviation], color="tab:red",
                label="model / exact − 1 (%)")
bottom.semilogx(tau, [100 * r for r in ratio], color="tab:green",
                label="depth the model needs / τ (%)")
bottom.set_xlabel("optical depth τ at the line centre")
bottom.set_ylabel("%")
bottom.set_ylim(-100, 100)
bottom.legend(loc="lower left")
bottom.grid(True, which="both", alpha=0.3)
figure.tight_layout()
figure.savefig(output, dpi=100)
print("Written:", output)
