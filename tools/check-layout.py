#!/usr/bin/python3
"""Checks the layers of the source tree: every folder includes only from itself and the
folders below it (the table LAYERS), the Qt-free folders include no Qt header, and there is
no include cycle among the product's units (a unit is a header with its source file: main.cpp
including seriesrun.h and seriesrun.cpp including main.h is a cycle). Tests, benchmarks and
fuzz targets may include from any layer but are part of none. Exits 1 naming each violation.
usage: tools/check-layout.py [source folder]"""

import pathlib
import re
import sys

# Each folder and the folders it may include from (besides itself).
LAYERS = {
    "common": set(),
    "textinput": {"common"},
    "leastsquares": {"common"},
    "linemodel": {"common", "textinput", "leastsquares"},
    "app": {"common", "textinput", "leastsquares", "linemodel"},
    "widgets": {"common"},
    "cli": {"common", "textinput", "leastsquares", "linemodel", "app"},
    "shell": {"common", "textinput", "leastsquares", "linemodel", "app", "widgets"},
    "tools": {"common", "textinput", "leastsquares", "linemodel"},
}
# Plain C++: no Qt, so that they build and test without it.
QT_FREE = {"common", "textinput", "leastsquares", "linemodel", "app", "cli", "tools"}
OTHERS = {"tests", "bench", "fuzz"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]', re.M)


def Unit(name):
    return name.rsplit(".", 1)[0]


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    faults = []
    graph = {}
    for folder in list(LAYERS) + sorted(OTHERS):
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in {".cpp", ".h"}:
                continue
            name = path.relative_to(root).as_posix()
            edges = graph.setdefault(Unit(name), [])
            for kind, target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
                if kind == "<":
                    if folder in QT_FREE and re.match(r"Q[A-Za-z]|qcustomplot", target):
                        faults.append(f"{name}: includes the Qt header <{target}>")
                    continue
                top = target.split("/")[0]
                if (root / target).is_file() and Unit(target) != Unit(name):
                    edges.append(Unit(target))
                if folder in OTHERS or top == folder or "/" not in target:
                    continue
                if top not in LAYERS.get(folder, set()):
                    faults.append(f'{name}: includes "{target}" from a layer above or beside')
    # Include cycles among the product files: a depth-first search for a back edge.
    state = {}

    def visit(node, chain):
        state[node] = "open"
        for target in graph.get(node, []):
            if target.split("/")[0] in OTHERS:
                continue
            if state.get(target) == "open":
                cycle = chain[chain.index(target):] + [target] if target in chain else [node, target]
                faults.append("include cycle: " + " -> ".join(cycle))
            elif target not in state:
                visit(target, chain + [target])
        state[node] = "done"

    for node in sorted(graph):
        if node.split("/")[0] not in OTHERS and node not in state:
            visit(node, [node])
    for fault in faults:
        print(fault)
    if faults:
        sys.exit(1)
    print(f"layout: {len(graph)} units, every include within its layer, no include cycle")


if __name__ == "__main__":
    main()
