# SPDX-License-Identifier: GPL-3.0-or-later
"""The plots of fits, maps and series with matplotlib, each on the Axes given (ax=) or on a new
figure's, which it returns. Sized for a journal column (85 mm) they read at 300 dpi."""

import math

import numpy

# The window's bar colours, by the upper level's index modulo 16 (the 16 colours of the
# program's Windows palette): the bars of one upper level share a colour.
_BAR_COLOURS = ["#ff0000", "#008000", "#ffff00", "#0000ff", "#ffffff", "#808080", "#ff00ff",
                "#008080", "#000080", "#800000", "#00ff00", "#808000", "#800080", "#c0c0c0",
                "#00ffff", "#000000"]


def _axes(ax):
    if ax is not None:
        return ax
    import matplotlib.pyplot as plt

    return plt.figure(layout="constrained").add_subplot()


def plot_fit(self, ax=None):
    """Draws the branching fractions over wavelength as the window's chart does: the measured
    ones as bars (coloured by upper level), the fitted ones as blue diamonds and the
    absorption-free ones as black dashes. Returns the matplotlib Axes (`ax`, or a new figure's)."""
    ax = _axes(ax)
    lines = self.lines
    wavelength = lines.wavelength
    span = float(numpy.ptp(wavelength)) if len(wavelength) > 1 else 2.0
    margin = max(span / max(len(wavelength) - 1, 1) / 2, span * 0.05)
    ax.set_xlim(wavelength.min() - margin, wavelength.max() + margin)
    # As the window: the bars take 30 % of the width that falls to each.
    width = 0.3 * (span + 2 * margin) / max(len(wavelength), 1)
    ax.bar(wavelength, lines.bf_measured, width=width, linewidth=0.4, edgecolor="#3c3c3c",
           color=[_BAR_COLOURS[level % 16] for level in lines.upper_level], label="measured",
           zorder=2)
    formed = lines.bf_fit >= 0
    ax.plot(wavelength[formed], lines.bf_fit[formed], "D", color="blue", markersize=3,
            label="fitted", zorder=3)
    free = lines.bf_free >= 0
    ax.plot(wavelength[free], lines.bf_free[free], "_", color="black", markersize=7,
            markeredgewidth=1.2, label="absorption-free", zorder=4)
    ax.set_ylim(0, 1)
    ax.set_xlabel("Wavelength (nm)")
    ax.set_ylabel("Branching fraction")
    # The legend in the window's order: measured, fitted, absorption-free.
    handles, labels = ax.get_legend_handles_labels()
    order = sorted(range(len(labels)),
                   key=lambda i: ["measured", "fitted", "absorption-free"].index(labels[i]))
    ax.legend([handles[i] for i in order], [labels[i] for i in order],
              loc="lower center", bbox_to_anchor=(0.5, 1.0), ncol=3, frameon=False,
              borderaxespad=0.2, handlelength=1.2, columnspacing=1.0, fontsize="small")
    return ax


def plot_map(self, ax=None, level=68.3, fit=None):
    """Draws the residual map over log10 n_1 and T_exc (log10 of the residual in colour), the
    best grid point and the border of its confidence region at `level` per cent; with `fit`
    (a FitResult of n_1 and T_exc) its result and the ellipse of its linearised region at the
    same level. Returns the matplotlib Axes (`ax`, or a new figure's)."""
    ax = _axes(ax)
    rss = self.rss
    shown = numpy.log10(numpy.where(rss > 0, rss, numpy.nan))
    mesh = ax.pcolormesh(self.log_density, self.temperature, shown, shading="nearest",
                         cmap="viridis", rasterized=True)
    ax.figure.colorbar(mesh, ax=ax, label="log$_{10}$ RSS", pad=0.02)
    region = self.region(level)
    for i, outline in enumerate(region["outlines"]):
        ax.plot(outline[:, 0], outline[:, 1], color="white", linewidth=1,
                label=f"{region['level']:g} % region" if i == 0 else None)
    ax.plot(math.log10(self.n_1), self.T_exc, "+", color="white", markersize=5,
            markeredgewidth=1, label="best grid point")
    if fit is not None:
        ellipse = fit.ellipse(level)
        if ellipse is not None:
            ax.plot(ellipse[:, 0], ellipse[:, 1], "--", color="#ff5050", linewidth=1,
                    label="fit's ellipse")
        ax.plot(math.log10(fit.n_1), fit.T_exc, "x", color="#ff5050", markersize=4,
                markeredgewidth=1, label="fit")
    ax.set_xlabel("log$_{10}$ ($n_1$ / m$^{-3}$)")
    ax.set_ylabel("$T_\\mathrm{exc}$ (K)")
    ax.legend(loc="upper right", fontsize="small", framealpha=0.6)
    return ax


def plot_series(self, ax=None):
    """Draws n_1 (left axis) and, where the fits fitted it, T_exc (right axis, a twin of `ax`)
    over the series' x, with the uncertainties to quote as error bars (Quoted u(n_1)/m-3,
    Quoted u(T)/K; none where a row has none). Returns the matplotlib Axes of n_1 (`ax`, or a
    new figure's)."""
    ax = _axes(ax)
    frame = self.sort_values("x")
    x = frame["x"].to_numpy(float)
    n_1 = frame["n_1/m-3"].to_numpy(float)
    ax.errorbar(x, n_1, yerr=frame["Quoted u(n_1)/m-3"].to_numpy(float), fmt="o-",
                color="tab:blue", markersize=3, linewidth=0.8, capsize=2, label="$n_1$")
    ax.set_ylabel("$n_1$ (m$^{-3}$)", color="tab:blue")
    handles = ax.get_legend_handles_labels()
    if (frame["T fitted"] == 1).any():
        right = ax.twinx()
        right.errorbar(x, frame["T/K"].to_numpy(float),
                       yerr=frame["Quoted u(T)/K"].to_numpy(float), fmt="s--",
                       color="tab:red", markersize=3, linewidth=0.8, capsize=2,
                       label="$T_\\mathrm{exc}$")
        right.set_ylabel("$T_\\mathrm{exc}$ (K)", color="tab:red")
        more = right.get_legend_handles_labels()
        handles = (handles[0] + more[0], handles[1] + more[1])
    if len(x) > 1 and x.min() > 0 and x.max() / x.min() > 10:
        ax.set_xscale("log")
    if len(n_1) > 1 and n_1.min() > 0 and n_1.max() / n_1.min() > 10:
        ax.set_yscale("log")
    from_names = (frame["x from"] == "file names").all()
    ax.set_xlabel("x (from the file names)" if from_names else "position in the series")
    ax.legend(*handles, loc="best", fontsize="small", framealpha=0.6)
    return ax
