# SPDX-License-Identifier: GPL-3.0-or-later
"""Fits the demo measurements on a local Dask cluster and plots n_1 against the series' x.

    python3 cluster_series.py ZELTFIT.INI MEASUREMENT-FOLDER FIGURE.png
"""

import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
from dask.distributed import Client, LocalCluster

import zeltfit


def main(ini, folder, figure):
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                      dashboard_address=None, host="127.0.0.1") as cluster, \
            Client(cluster) as client:
        frame = zeltfit.batch_fit([folder], ini, "Ar I", client=client, fit_temperature=True)
    print(frame[["Filename", "x", "n_1/m-3", "u(n_1)/m-3", "T/K"]].to_string(index=False))
    axes = plt.figure(figsize=(6, 4)).add_subplot()
    axes.errorbar(frame["x"], frame["n_1/m-3"], yerr=frame["u(n_1)/m-3"], fmt="o")
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel("x (from the file names)")
    axes.set_ylabel("n_1 / m$^{-3}$")
    axes.figure.tight_layout()
    axes.figure.savefig(figure, dpi=100)


if __name__ == "__main__":
    main(*sys.argv[1:4])
