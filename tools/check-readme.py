#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs the examples of a document (README.md, docs/GUIDE.md) against a build and compares their
output with the document's.

An example is a fenced block of type sh whose first line begins with "$ zeltfit-cli". Each line
that begins with "$ " is a command (a line ending in a backslash continues on the next); the
lines after it, up to the next command, are its expected standard output. In expected output a
line "..." stands for any number of lines, and "..." within a line for any text, where the
document cuts what would not fit; a command without lines after it only has to succeed. A command
may end in "# exit status N" when it should fail with that status.

The commands run with bash in a copy of the build's share folder "Zelt fit 1.0" (its template
zeltfit.ini names the build's database), with the build's bin folder first on PATH and a fresh
HOME and TMPDIR.

    tools/check-readme.py [BUILD-FOLDER] [DOCUMENT]    (default: build, README.md)
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile

CUT = "..."


def examples(readme):
    """The example blocks of a document: (line number, [lines]) for each."""
    blocks, block, start = [], None, 0
    for number, line in enumerate(readme.splitlines(), 1):
        if block is None:
            if line.startswith("```sh"):
                block, start = [], number
        elif line.startswith("```"):
            if block and block[0].startswith("$ zeltfit-cli"):
                blocks.append((start, block))
            block = None
        else:
            block.append(line)
    return blocks


def commands(block):
    """The commands of a block with their expected output lines and exit status."""
    found, i = [], 0
    while i < len(block):
        command = block[i][2:]
        while command.endswith("\\") and i + 1 < len(block):
            i += 1
            command = command[:-1] + " " + block[i].strip()
        i += 1
        expected = []
        while i < len(block) and not block[i].startswith("$ "):
            expected.append(block[i])
            i += 1
        status = 0
        marker = re.search(r"\s+# exit status (\d+)$", command)
        if marker:
            status, command = int(marker.group(1)), command[:marker.start()]
        found.append((command, expected, status))
    return found


def line_pattern(line):
    return re.compile(".*?".join(re.escape(part) for part in line.rstrip().split(CUT)) + "$")


def matches(expected, actual):
    """Whether the output lines match the expected lines with their cuts."""
    if not expected:
        return not actual
    if expected[0].strip() == CUT:
        return any(matches(expected[1:], actual[k:]) for k in range(len(actual) + 1))
    return bool(actual) and line_pattern(expected[0]).match(actual[0].rstrip()) is not None \
        and matches(expected[1:], actual[1:])


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else root / "build").resolve()
    readme = pathlib.Path(sys.argv[2] if len(sys.argv) > 2 else root / "README.md")
    blocks = examples(readme.read_text(encoding="utf-8"))
    if not blocks:
        print(f"{readme}: no examples (```sh blocks beginning with \"$ zeltfit-cli\")")
        return 1
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        share = pathlib.Path(scratch, "share")
        shutil.copytree(build / "share" / "Zelt fit 1.0", share)
        for name in ("home", "tmp"):
            pathlib.Path(scratch, name).mkdir()
        env = dict(os.environ, PATH=f"{build / 'bin'}:{os.environ.get('PATH', '')}",
                   HOME=str(pathlib.Path(scratch, "home")), TMPDIR=str(pathlib.Path(scratch, "tmp")))
        env.pop("XDG_DATA_HOME", None)
        count = 0
        for start, block in blocks:
            for command, expected, status in commands(block):
                count += 1
                run = subprocess.run(["bash", "-c", command], cwd=share, env=env,
                                     capture_output=True, text=True)
                actual = run.stdout.splitlines()
                shown = bool(expected)
                if run.returncode != status or (shown and not matches(expected, actual)):
                    failures += 1
                    print(f"{readme.name}, block of line {start}: $ {command}")
                    print(f"  exit status {run.returncode} (expected {status})")
                    if shown:
                        print("  output:\n" + "".join(f"    {line}\n" for line in actual), end="")
                        print("  the document shows:\n" + "".join(f"    {line}\n" for line in expected),
                              end="")
                    if run.stderr:
                        print("  standard error:\n    " + run.stderr.rstrip().replace("\n", "\n    "))
    print(f"{readme.name}: {count - failures} of {count} example commands as shown")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
