#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the layers of the source tree (docs/ARCHITECTURE.md): every folder includes only from
itself and the folders below it (the table LAYERS), the Qt-free folders include no Qt header,
no file includes itself through a chain of includes, and there is no include cycle among the
product's units (a unit is a header with its source file: main.cpp including seriesrun.h while
seriesrun.cpp includes main.h is a cycle), and the front ends (FRONT_ENDS) reach the line model
only through the application layer's outcomes: none of their files includes MODEL_HEADER,
directly or through a chain of includes. No product file is longer than MAX_LINES lines. Tests,
benchmarks and fuzz targets may include from any layer but are part of none, and may be longer.
Exits 1 naming each violation.
usage: tools/check-layout.py [source folder]"""

import pathlib
import re
import sys

CORE = {"common", "textinput", "leastsquares", "linemodel", "spectrum"}
# Each folder and the folders it may include from (besides itself).
LAYERS = {
    "common": set(),
    "textinput": {"common"},
    "leastsquares": {"common"},
    "linemodel": {"common", "textinput", "leastsquares"},
    "spectrum": {"common", "textinput", "leastsquares", "linemodel"},
    "app": CORE,
    "widgets": {"common"},
    "cli": CORE | {"app"},
    "python": CORE | {"app"},
    "shell": CORE | {"app", "widgets"},
    "tools": CORE,
}
# Plain C++: no Qt, so that they build and test without it.
QT_FREE = CORE | {"app", "cli", "python", "tools"}
OTHERS = {"tests", "bench", "fuzz"}
# The window, zeltfit-cli and the Python module read outcomes, never the line model.
FRONT_ENDS = {"shell", "cli", "python"}
MODEL_HEADER = "linemodel/atomicdata.h"
# A file longer than this is split by subject, so that a reader finds a rule in one screenful
# of names.
MAX_LINES = 700

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)


def Unit(name):
    return name.rsplit(".", 1)[0]


def Cycles(graph):
    """The cycles of a graph found by a depth-first search, each as the sorted tuple of its
    nodes."""
    state, found = {}, set()

    def visit(node, chain):
        state[node] = "open"
        for target in graph.get(node, []):
            if state.get(target) == "open":
                found.add(tuple(sorted(set(chain[chain.index(target):]))))
            elif target not in state:
                visit(target, chain + [target])
        state[node] = "done"

    for node in sorted(graph):
        if node not in state:
            visit(node, [node])
    return found


def Chain(graph, start, target):
    """The shortest chain of includes from `start` to `target` (both in it), or None."""
    previous, queue = {start: None}, [start]
    for node in queue:
        if node == target:
            chain = []
            while node is not None:
                chain.append(node)
                node = previous[node]
            return chain[::-1]
        for following in graph.get(node, []):
            if following not in previous:
                previous[following] = node
                queue.append(following)
    return None


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    faults = []
    files, units = {}, {}
    for folder in list(LAYERS) + sorted(OTHERS):
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in {".cpp", ".h"}:
                continue
            name = path.relative_to(root).as_posix()
            product = folder not in OTHERS
            text = path.read_text(encoding="utf-8", errors="replace")
            lines = text.count("\n")
            if product and lines > MAX_LINES:
                faults.append(f"{name}: {lines} lines, more than {MAX_LINES}")
            for kind, target in INCLUDE.findall(text):
                if kind == "<":
                    if folder in QT_FREE and re.match(r"Q[A-Za-z]|qcustomplot", target):
                        faults.append(f"{name}: includes the Qt header <{target}>")
                    continue
                top = target.split("/")[0]
                if product and (root / target).is_file() and top not in OTHERS:
                    files.setdefault(name, []).append(target)
                    if Unit(target) != Unit(name):
                        units.setdefault(Unit(name), []).append(Unit(target))
                if product and "/" in target and top != folder and top not in LAYERS[folder]:
                    faults.append(f'{name}: includes "{target}" from a layer above or beside')
    for name in sorted(files):
        if name.split("/")[0] in FRONT_ENDS:
            chain = Chain(files, name, MODEL_HEADER)
            if chain:
                faults.append(f"{name}: reaches the line model through " + " -> ".join(chain[1:]))
    for cycle in sorted(Cycles(files)):
        faults.append("file include cycle: " + ", ".join(cycle))
    for cycle in sorted(Cycles(units)):
        faults.append("unit include cycle: " + ", ".join(cycle))
    for fault in faults:
        print(fault)
    if faults:
        sys.exit(1)
    print(f"layout: {len(files)} product files, every include within its layer, no include "
          f"cycle of files or units, no front end including {MODEL_HEADER}, none longer than "
          f"{MAX_LINES} lines")


if __name__ == "__main__":
    main()
