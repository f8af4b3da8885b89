# SPDX-License-Identifier: GPL-3.0-or-later
"""The zeltfit module against zeltfit-cli (the demo files and generated species), its errors,
threads and a 2-worker Dask cluster.

Run with ZELTFIT_CLI (the program), ZELTFIT_SHARE (the share folder with zeltfit.ini and the
demo measurements) and the built package on PYTHONPATH.
"""

import ast
import math
import os
import pathlib
import random
import subprocess
import tempfile
import threading
import unittest
from concurrent.futures import ThreadPoolExecutor

import numpy
import pandas

import zeltfit

CLI = os.environ["ZELTFIT_CLI"]
SHARE = os.environ["ZELTFIT_SHARE"]
INI = os.path.join(SHARE, "zeltfit.ini")
DEMO = os.path.join(SHARE, "measurements")
SPECIES = "Ar I"
FILES = [os.path.join(DEMO, n) for n in ("argon_1e16.txt", "argon_2e17.txt", "argon_5e16.txt")]


def cli(*arguments, ini=INI, species=SPECIES):
    """zeltfit-cli's output."""
    # Not checked: a batch with a flagged result ends with status 3, and its rows are compared.
    return subprocess.run([CLI, "--ini", ini, "--species", species, *arguments],
                          capture_output=True, text=True).stdout


def cli_tsv(*arguments, **where):
    """zeltfit-cli's --format tsv output as a DataFrame, numbers read back exactly."""
    return zeltfit.read_tsv(cli(*arguments, "--format", "tsv", **where))


def generate_species(folder, seed):
    """A made-up species X I in `folder`: 6 to 10 levels, lines from the upper ones to the four
    lowest, three measurements of the model (Mewe's escape factor at a gas temperature of 700 K
    over 0.2 m, 1 % noise) at densities of 3e16 to 3e17 m-3, and a zeltfit.ini that names the
    species and leaves every setting at its default. Returns the configuration file, the
    measurement folder and the mass."""
    rng = random.Random(seed)
    energies = [0.0]
    for j in range(1, rng.randint(6, 10)):
        energies.append(energies[-1] + (0.05 + 0.2 * rng.random() if j < 4 else 0.3 + rng.random()))
    texts = [f"{e + 2 * (j >= 4):.8f}" for j, e in enumerate(energies)]
    weights = [2 * rng.randint(0, 3) + 1 for _ in texts]
    mass = 20 + 100 * rng.random()
    levels = "levels\r\nsource\r\nConfiguration          Term         J  E\r\n" + "".join(
        f"{'c' + str(i):<23}{'T' + str(i):<13}{(g - 1) / 2:4.1f}  {e}\r\n"
        for i, (g, e) in enumerate(zip(weights, texts)))
    table, lines = [], []
    for upper in range(4, len(texts)):
        for lower in rng.sample(range(4), rng.randint(2, 4)):
            wavelength = f"{1239.84198 / (float(texts[upper]) - float(texts[lower])):.4f}"
            aki = 10 ** (-2 + 2 * rng.random())
            table.append(f"X  I    {wavelength} 0 {aki:.5f} 0 0 -1.00 B    {texts[lower]} "
                         f"{texts[upper]} 1 2 {weights[lower]} {weights[upper]} "
                         f"{'l' + str(lower) + '-u' + str(upper):<40} {'a-b':<16} {'':<4} "
                         f"{'':<14} {'ref':<8}\r\n")
            lines.append((wavelength, aki * 1e8, lower, upper))
    database, spectra = os.path.join(folder, "db"), os.path.join(folder, "spectra")
    os.makedirs(database)
    os.makedirs(spectra)
    pathlib.Path(database, "X_levels.txt").write_text(levels)
    pathlib.Path(database, "X_I.txt").write_text("h1\r\nh2\r\nh3\r\nh4\r\nh5\r\n" + "".join(table))
    k, speed = 1.380658e-23, math.sqrt(2 * 1.380658e-23 * 700 / (mass * 1.6605402e-27))
    for density in (3e16, 1e17, 3e17):
        temperature = 1000 + 2000 * rng.random()
        measurement = []
        for wavelength, a, lower, upper in lines:
            lam = float(wavelength) * 1e-9
            n_lower = density * weights[lower] / weights[0] * math.exp(
                -float(texts[lower]) * 1.60217733e-19 / (k * temperature))
            tau = 0.2 * lam ** 3 * n_lower * weights[upper] * a / (
                8 * math.pi ** 1.5 * weights[lower] * speed)
            escape = (2 - math.exp(-tau / 1000)) / (1 + tau)
            measurement.append(f"{wavelength} {a * escape / lam * 1e-12 * rng.gauss(1, 0.01):.5g}\n")
        pathlib.Path(spectra, f"x_{density:.0e}.txt").write_text("".join(measurement))
    ini = os.path.join(folder, "zeltfit.ini")
    pathlib.Path(ini).write_text(f"[_Files]\nDatabase={database}\n[X I]\nLevels=X_levels.txt\n"
                                 f"Lines=X,I\nm={mass!r}\nBoltzmax=4\n")
    return ini, spectra, mass


def file_name_first(frame):
    """The columns of batch_fit's frame: zeltfit-cli's, the file name first."""
    return frame[["Filename"] + [c for c in frame.columns if c != "Filename"]]


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
            expected = file_name_first(cli_tsv("batch", "fit", DEMO, *options))
            frame = zeltfit.batch_fit([DEMO], INI, SPECIES, **keywords)
            pandas.testing.assert_frame_equal(frame, expected, check_exact=True)

    def test_generated_species_equal_the_program(self):
        options = ["--fit-temperature", "--temperature", "1500", "--gas-temperature", "700",
                   "--path", "0.2", "--density", "1e17"]
        keywords = {"fit_temperature": True, "temperature": 1500, "gas_temperature": 700,
                    "path": 0.2, "density": 1e17}
        for seed in range(1, 4):
            with tempfile.TemporaryDirectory() as folder:
                ini, spectra, mass = generate_species(folder, seed)
                expected = file_name_first(cli_tsv("batch", "fit", spectra, *options, ini=ini,
                                                   species="X I"))
                self.assertEqual(len(expected), 3)
                from_ini = zeltfit.batch_fit([spectra], ini, "X I", **keywords)
                pandas.testing.assert_frame_equal(from_ini, expected, check_exact=True)
                # The same species from its files: the same rows, the same conditions.
                files = zeltfit.Species(database=os.path.join(folder, "db"),
                                        levels="X_levels.txt", lines="X,I", mass=mass,
                                        boltzmann_levels=4)
                self.assertEqual(files.name, "X I")
                from_files = zeltfit.batch_fit([spectra], species=files, **keywords)
                pandas.testing.assert_frame_equal(from_files, expected, check_exact=True)

    def test_line_table_equals_the_program(self):
        species = zeltfit.Species(INI, SPECIES)
        species.read(FILES[1])
        fit = species.fit(fit_temperature=True)
        printed = cli("fit", FILES[1], "--fit-temperature", "--table").split("\n\n")[1]
        rows = [line.split("\t")[1:] for line in printed.splitlines()]
        self.assertEqual(len(rows), len(fit.lines) + 1)
        lines = fit.lines
        for i, row in enumerate(rows[1:]):
            self.assertEqual(float(row[0]), lines.wavelength[i])
            self.assertEqual(row[2:5], [f"{lines.bf_free[i]:.4f}", f"{lines.bf_measured[i]:.4f}",
                                        f"{lines.bf_fit[i]:.4f}"])
            self.assertEqual([row[5], row[6], row[7], row[8]],
                             [f"{lines.upper_energy[i]:.9f}", lines.upper_state[i],
                              f"{lines.lower_energy[i]:.9f}", lines.lower_state[i]])
        frame = fit.to_pandas()
        self.assertEqual(list(frame.columns),
                         ["Wavelength/nm", "Intensity", "BF free", "BF meas", "BF fit",
                          "Upper energy/eV", "Upper state", "Lower energy/eV", "Lower state",
                          "u(Intensity)"])
        self.assertEqual(list(frame["BF fit"]), list(lines.bf_fit))

    def test_arrays_and_map(self):
        data = numpy.loadtxt(FILES[2])
        species = zeltfit.Species(INI, SPECIES)
        species.read_arrays(data[:, 0], data[:, 1])
        from_arrays = species.fit().n_1
        species.read(FILES[2])
        self.assertEqual(species.fit().n_1, from_arrays)
        # Uncertainties given with the arrays weight the fit as the table beside a file does.
        uncertainties = 0.01 * data[:, 1]
        species.read_arrays(data[:, 0], data[:, 1], uncertainties)
        weighted = species.fit()
        self.assertEqual(list(weighted.lines.intensity_uncertainty), list(uncertainties))
        self.assertNotEqual(weighted.n_1, from_arrays)
        species.read(FILES[2])
        grid = species.map(density_points=20, temperature_points=10)
        self.assertEqual(grid.rss.shape, (10, 20))
        self.assertEqual(len(grid.log_density), 20)
        expected = cli_tsv("map", FILES[2], "--density-points", "20", "--temperature-points", "10")
        self.assertEqual(grid.n_1, expected["n_1/m-3"][0])
        region = grid.region(0.683)
        self.assertLessEqual(region["log_density"][0], numpy.log10(grid.n_1))


class TypeStub(unittest.TestCase):
    def test_stub_names_every_public_name(self):
        stub = ast.parse(pathlib.Path(zeltfit.__file__).with_suffix(".pyi").read_text())
        classes = {node.name: node for node in stub.body if isinstance(node, ast.ClassDef)}
        functions = {node.name for node in stub.body if isinstance(node, ast.FunctionDef)}
        self.assertEqual(set(zeltfit.__all__), set(classes) | functions)
        for name, node in classes.items():
            kind = getattr(zeltfit, name)
            if issubclass(kind, Exception):
                continue
            members = {n.target.id if isinstance(n, ast.AnnAssign) else n.name
                       for n in node.body if isinstance(n, (ast.AnnAssign, ast.FunctionDef))}
            public = {m for m in dir(kind) if not m.startswith("_")}
            self.assertEqual(public, members - {"__init__", "__len__"}, name)
            for member in public:
                self.assertTrue(getattr(kind, member).__doc__, f"{name}.{member}")


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
        with self.assertRaises(zeltfit.InputError) as caught:
            species.read_arrays(numpy.array([696.5431, 696.5431]), numpy.ones(2))
        self.assertIn('listed again in file "arrays.txt", line 2', str(caught.exception))
        with tempfile.TemporaryDirectory() as folder:
            header = os.path.join(folder, "header.txt")
            pathlib.Path(header).write_text("Wavelength Intensity\n696.5431 1\n")
            with self.assertRaises(zeltfit.FileError):
                species.read(header)
        with self.assertRaises(zeltfit.Error):
            species.map(density_points=100000, temperature_points=100000)

    def test_species_from_files_refused(self):
        given = {"database": SHARE, "levels": "Ar_levels.txt", "lines": "Ar,I", "mass": 39.948}
        with self.assertRaises(zeltfit.FileError) as caught:
            zeltfit.Species(**{**given, "levels": "none.txt"})
        self.assertIn(os.path.join(SHARE, "none.txt"), str(caught.exception))
        for wrong, text in (({"lines": "Ar"}, "Wrong source in ini file. "),
                            ({"mass": -1.0}, "mass must be a number above 0 (u)"),
                            ({"mass": float("nan")}, "mass must be a number above 0 (u)"),
                            ({"database": SHARE + "\n[X]"},
                             "database cannot begin or end with a blank or hold a line end"),
                            ({"name": "_Files"}, 'name must be a species name: not empty, no "_" '
                                                 "first and no brackets")):
            with self.assertRaises(zeltfit.InputError) as caught:
                zeltfit.Species(**{**given, **wrong})
            self.assertEqual(str(caught.exception), text)
        with self.assertRaises(zeltfit.InputError):
            zeltfit.Species(**given).read_arrays(numpy.ones(2), numpy.ones(2), name="../x.txt")


class Threads(unittest.TestCase):
    def test_four_threads_equal_serial(self):
        # Each thread's measurement from arrays of its own under the same file name.
        measurements = [numpy.loadtxt(FILES[i % 3]) for i in range(4)]

        def fit(i, log):
            species = zeltfit.Species(INI, SPECIES)
            species.read_arrays(measurements[i][:, 0], measurements[i][:, 1])
            return species.fit(fit_temperature=True, temperature=2000, log=log).row()[1]

        with tempfile.TemporaryDirectory() as folder:
            logs = [os.path.join(folder, f"{i}.txt") for i in range(4)]
            serial = [fit(i, log) for i, log in enumerate(logs)]
            serial_logs = [pathlib.Path(log).read_bytes() for log in logs]
            results = [None] * 4
            threads = [threading.Thread(target=lambda i=i: results.__setitem__(
                i, fit(i, logs[i]))) for i in range(4)]
            for thread in threads:
                thread.start()
            for thread in threads:
                thread.join()
            self.assertEqual(results, serial)
            self.assertEqual([pathlib.Path(log).read_bytes() for log in logs], serial_logs)
        with ThreadPoolExecutor(2) as pool:
            pandas.testing.assert_frame_equal(
                zeltfit.batch_fit([DEMO], INI, SPECIES, client=pool),
                zeltfit.batch_fit([DEMO], INI, SPECIES), check_exact=True)


class Cluster(unittest.TestCase):
    def test_two_workers_equal_serial(self):
        from dask.distributed import Client, LocalCluster

        # A species from its files goes to the workers pickled.
        species = zeltfit.Species(database=SHARE, levels="Ar_levels.txt", lines="Ar,I",
                                  mass=39.948, boltzmann_levels=4)
        serial = zeltfit.batch_fit(FILES + ["/nonexistent.txt"], species=species)
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          dashboard_address=None, host="127.0.0.1") as cluster, \
                Client(cluster) as client:
            spread = zeltfit.batch_fit(FILES + ["/nonexistent.txt"], species=species,
                                       client=client)
        pandas.testing.assert_frame_equal(spread, serial, check_exact=True)
        self.assertEqual(len(spread), 3)
        self.assertEqual([f for f, _ in spread.attrs["failures"]], ["/nonexistent.txt"])


if __name__ == "__main__":
    unittest.main()
