#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""tools/check-layout.py on small trees: a front end that reaches the line model through an
application header, and two units that use each other, are refused with their chains; a product
file longer than the limit is refused, a test file of that length is not."""

import pathlib
import subprocess
import sys
import tempfile
import unittest

CHECK = pathlib.Path(__file__).resolve().parents[2] / "tools" / "check-layout.py"


def Check(files):
    """The check's exit status and output over a tree of `files` (name: text)."""
    with tempfile.TemporaryDirectory() as root:
        for name, text in files.items():
            path = pathlib.Path(root) / name
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_text(text)
        run = subprocess.run([sys.executable, str(CHECK), root], capture_output=True, text=True)
        return run.returncode, run.stdout


class CheckLayout(unittest.TestCase):
    def test_front_ends_never_reach_the_model(self):
        tree = {"linemodel/atomicdata.h": "", "linemodel/modeltypes.h": "",
                "app/application.h": '#include "linemodel/modeltypes.h"\n',
                "cli/main.cpp": '#include "app/application.h"\n'}
        self.assertEqual(Check(tree)[0], 0)
        tree["app/application.h"] += '#include "linemodel/atomicdata.h"\n'
        self.assertEqual(Check(tree), (1, "cli/main.cpp: reaches the line model through "
                                          "app/application.h -> linemodel/atomicdata.h\n"))

    def test_units_that_use_each_other(self):
        tree = {"common/a.h": "", "common/a.cpp": '#include "common/b.h"\n',
                "common/b.h": "", "common/b.cpp": '#include "common/a.h"\n'}
        self.assertEqual(Check(tree), (1, "unit include cycle: common/a, common/b\n"))

    def test_files_too_long(self):
        tree = {"spectrum/a.cpp": "\n" * 700, "tests/spectrum/a_test.cpp": "\n" * 900}
        self.assertEqual(Check(tree)[0], 0)
        tree["spectrum/a.cpp"] += "\n"
        self.assertEqual(Check(tree), (1, "spectrum/a.cpp: 701 lines, more than 700\n"))


if __name__ == "__main__":
    unittest.main()
