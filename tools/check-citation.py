#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks CITATION.cff: it parses as YAML, holds the keys that Citation File Format 1.2.0
requires (cff-version, message, title, authors, each author with a name or family names) and
names the version of the project() line of CMakeLists.txt. Debian's python3-yaml."""

import pathlib
import re
import sys

import yaml

root = pathlib.Path(__file__).resolve().parent.parent


def problems():
    try:
        cff = yaml.safe_load((root / "CITATION.cff").read_text(encoding="utf-8"))
    except (OSError, yaml.YAMLError) as error:
        return [f"CITATION.cff does not read as YAML: {error}"]
    if not isinstance(cff, dict):
        return ["CITATION.cff is not a mapping of keys"]
    found = [f'CITATION.cff lacks the key "{key}"'
             for key in ("cff-version", "message", "title", "authors", "version")
             if key not in cff]
    if cff.get("cff-version") != "1.2.0":
        found.append(f'cff-version is {cff.get("cff-version")!r}, not "1.2.0"')
    authors = cff.get("authors")
    if not isinstance(authors, list) or not authors:
        found.append("authors is not a list of at least one author")
    else:
        found += [f"author {i + 1} has neither a name nor family-names"
                  for i, author in enumerate(authors)
                  if not isinstance(author, dict)
                  or not (author.get("name") or author.get("family-names"))]
    project = re.search(r"^project\(\S+ VERSION (\S+)",
                        (root / "CMakeLists.txt").read_text(encoding="utf-8"), re.MULTILINE)
    if project is None:
        found.append("CMakeLists.txt has no project(... VERSION ...) line")
    elif str(cff.get("version")) != project.group(1):
        found.append(f'CITATION.cff names version {cff.get("version")!r}, '
                     f'CMakeLists.txt {project.group(1)}')
    return found


if __name__ == "__main__":
    found = problems()
    for problem in found:
        print(problem)
    if not found:
        print("CITATION.cff: valid, version", yaml.safe_load(
            (root / "CITATION.cff").read_text(encoding="utf-8"))["version"])
    sys.exit(1 if found else 0)
