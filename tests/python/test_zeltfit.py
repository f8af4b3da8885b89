# SPDX-License-Identifier: GPL-3.0-or-later
"""The zeltfit module against zeltfit-cli, its errors, threads and a 2-worker Dask cluster.

Run with ZELTFIT_CLI (the program), ZELTFIT_SHARE (the share folder with zeltfit.ini and the
demo measurements) and the built package on PYTHONPATH.
"""

import io
import os
import pathlib
import subprocess
import tempfile
import threading
import unittest

import numpy
import pandas

import zeltfit

CLI = os.environ["ZELTFIT_CLI"]
SHARE = os.environ["ZELTFIT_SHARE"]
INI = os.path.join(SHARE, "zeltfit.ini")
DEMO = os.path.join(SHARE, "measurements")
SPECIES = "Ar I"
FILES = [os.path.join(DEMO, n) for n in ("argon_1e16.txt", "argon_2e17.txt", "argon_5e16.txt")]


def cli_tsv(*arguments):
    """zeltfit-cli's --format tsv output as a DataFrame, numbers read back exactly."""
    run = subprocess.run([CLI, "--ini", INI, "--species", SPECIES, *arguments, "--format", "tsv"],
                         capture_output=True, text=True, check=True)
    return pandas.read_csv(io.StringIO(run.stdout), sep="\t", float_precision="round_trip")


class BitForBit(unittest.TestCase):
    def test_fit_and_batch_equal_the_program(self):
        species = zeltfit.Species(INI, SPECIES)
        for options, keywords in (([], {}),
                                  (["--fit-temperature", "--temperature", "2000", "--path", "0.05"],
                                   {"fit_temperature": True, "temperature": 2000, "path": 0.05})):
            for path in FILES:
                species.read(path)
                columns, values = species.fit(**keywords).row()
                # The result line's columns come first; the conditions of the row follow them.
                expected = cli_tsv("fit", path, *options)
                self.assertEqual(list(expected.columns)[:len(columns)], columns)
                self.assertEqual(list(expected.iloc[0])[:len(values)], values)
            expected = cli_tsv("batch", "fit", DEMO, *options)
            frame = zeltfit.batch_fit([DEMO], INI, SPECIES, **keywords)
            self.assertEqual(list(frame.columns)[0], "Filename")
            pandas.testing.assert_frame_equal(frame, expected[frame.columns], check_exact=True)

    def test_arrays_and_map(self):
        data = numpy.loadtxt(FILES[2])
        species = zeltfit.Species(INI, SPECIES)
        species.read_arrays(data[:, 0], data[:, 1])
        from_arrays = species.fit().n_1
        species.read(FILES[2])
        self.assertEqual(species.fit().n_1, from_arrays)
        grid = species.map(density_points=20, temperature_points=10)
        self.assertEqual(grid.rss.shape, (10, 20))
        self.assertEqual(len(grid.log_density), 20)
        expected = cli_tsv("map", FILES[2], "--density-points", "20", "--temperature-points", "10")
        self.assertEqual(grid.n_1, expected["n_1/m-3"][0])
        region = grid.region(0.683)
        self.assertLessEqual(region["log_density"][0], numpy.log10(grid.n_1))


class Errors(unittest.TestCase):
    def test_program_messages_as_exceptions(self):
        species = zeltfit.Species(INI, SPECIES)
        with self.assertRaises(zeltfit.FileError) as caught:
            species.read("/nonexistent/x.txt")
        self.assertIsInstance(caught.exception, OSError)
        self.assertIn("/nonexistent/x.txt", str(caught.exception))
        with self.assertRaises(zeltfit.InputError) as caught:
            species.read(FILES[0])
            species.fit(path=-2)
        self.assertIsInstance(caught.exception, ValueError)
        self.assertEqual(str(caught.exception),
                         'Absorption path (m): "-2" is not a number above 0.')
        with self.assertRaises(TypeError):
            species.fit(colour=1)
        with self.assertRaises(zeltfit.InputError):
            species.fit(path="long")
        with self.assertRaises(zeltfit.InputError) as caught:
            zeltfit.Species(INI, "Xx I")
        self.assertEqual(str(caught.exception), f'No species section "Xx I" in "{INI}"')
        with self.assertRaises(zeltfit.InputError):
            species.read_arrays(numpy.ones(3), numpy.ones(2))
        with self.assertRaises(zeltfit.Error):
            species.map(density_points=100000, temperature_points=100000)


class Threads(unittest.TestCase):
    def test_four_threads_equal_serial(self):
        def fit(path, log):
            species = zeltfit.Species(INI, SPECIES)
            species.read(path)
            return species.fit(fit_temperature=True, temperature=2000, log=log).row()[1]

        with tempfile.TemporaryDirectory() as folder:
            logs = [os.path.join(folder, f"{i}.txt") for i in range(4)]
            paths = [FILES[i % 3] for i in range(4)]
            serial = [fit(p, log) for p, log in zip(paths, logs)]
            serial_logs = [pathlib.Path(log).read_bytes() for log in logs]
            results = [None] * 4
            threads = [threading.Thread(target=lambda i=i: results.__setitem__(
                i, fit(paths[i], logs[i]))) for i in range(4)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            self.assertEqual(results, serial)
            self.assertEqual([pathlib.Path(log).read_bytes() for log in logs], serial_logs)


class Cluster(unittest.TestCase):
    def test_two_workers_equal_serial(self):
        from dask.distributed import Client, LocalCluster

        serial = zeltfit.batch_fit(FILES + ["/nonexistent.txt"], INI, SPECIES)
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None, host="127.0.0.1") as cluster, \
                Client(cluster) as client:
            spread = zeltfit.batch_fit(FILES + ["/nonexistent.txt"],
                                       species=zeltfit.Species(INI, SPECIES), client=client)
        pandas.testing.assert_frame_equal(spread, serial, check_exact=True)
        self.assertEqual(len(spread), 3)
        self.assertEqual([f for f, _ in spread.attrs["failures"]], ["/nonexistent.txt"])


if __name__ == "__main__":
    unittest.main()
