# SPDX-License-Identifier: GPL-3.0-or-later
"""The zeltfit module against zeltfit-cli (the demo files and generated species), its errors,
arguments, plots, threads and a 2-worker Dask cluster.

Run with ZELTFIT_CLI (the program) and the module importable: the build's (PYTHONPATH) or an
installed one; the demo data are the module's own (zeltfit.data_folder). The plots are written
into ZELTFIT_SCREENSHOTS when it is set.
"""

import ast
import fractions
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
SHARE = zeltfit.data_folder()
INI = zeltfit.demo_ini()
DEMO = os.path.join(SHARE, "measurements")
SPECIES = "Ar I"
FILES = [os.path.join(DEMO, n) for n in ("argon_1e16.txt", "argon_2e17.txt", "argon_5e16.txt")]
SCREENSHOTS = os.environ.get("ZELTFIT_SCREENSHOTS")


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


def same_fields(expected, frame):
    """The fields of `frame` that `expected` (zeltfit-cli's row) has, as the same values."""
    return frame[[c for c in expected.columns if c in frame.columns]]


class BitForBit(unittest.TestCase):
    def test_fit_and_batch_equal_the_program(self):
        species = zeltfit.Species(INI, SPECIES)
        for options, keywords in (([], {}),
                                  (["--fit-temperature", "--temperature", "2000", "--path", "0.05"],
                                   {"fit_temperature": True, "temperature": 2000, "path": 0.05})):
            for path in FILES:
                species.read(path)
                row = species.fit(**keywords).row()
                # The row of one fit is batch_fit's of that file alone, zeltfit-cli's with x.
                pandas.testing.assert_frame_equal(
                    row, zeltfit.batch_fit(path, INI, SPECIES, **keywords), check_exact=True)
                expected = cli_tsv("fit", path, *options)
                pandas.testing.assert_frame_equal(same_fields(row, expected),
                                                  file_name_first(expected), check_exact=True)
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
                          "u(Intensity)", "Upper level", "Lower level"])
        self.assertEqual(list(frame["BF fit"]), list(lines.bf_fit))

    def test_arrays_and_map(self):
        data = numpy.loadtxt(FILES[2])
        species = zeltfit.Species(INI, SPECIES)
        species.read(data[:, 0], data[:, 1])
        from_arrays = species.fit().n_1
        species.read(pathlib.Path(FILES[2]))
        self.assertEqual(species.fit().n_1, from_arrays)
        species.read(pandas.DataFrame(data))
        self.assertEqual(species.fit().n_1, from_arrays)
        # Uncertainties given with the arrays weight the fit as the table beside a file does.
        uncertainties = 0.01 * data[:, 1]
        species.read(list(data[:, 0]), list(data[:, 1]), uncertainties)
        weighted = species.fit()
        self.assertEqual(list(weighted.lines.intensity_uncertainty), list(uncertainties))
        self.assertNotEqual(weighted.n_1, from_arrays)
        species.read(FILES[2])
        # What to quote: the likelihood fit's numbers, as the TSV's columns carry them.
        quoted = species.fit(fit_temperature=True).quoted
        expected = cli_tsv("fit", FILES[2], "--fit-temperature")
        for key, column in (("n_1", "Quoted n_1/m-3"), ("u_n_1", "Quoted u(n_1)/m-3"),
                            ("n_1_low", "n_1 low/m-3"), ("T_exc", "Quoted T/K"),
                            ("u_T_exc", "Quoted u(T)/K"), ("u_n_tot", "Quoted u(n_tot)/m-3")):
            self.assertEqual(quoted[key], expected[column][0], key)
        self.assertEqual(quoted["nu"], expected["nu (chi2)"][0])
        self.assertTrue(quoted["text"].startswith("To quote: n_1 = "), quoted["text"])
        grid = species.map(density_points=20, temperature_points=10)
        self.assertEqual(grid.rss.shape, (10, 20))
        self.assertEqual(len(grid.log_density), 20)
        expected = cli_tsv("map", FILES[2], "--density-points", "20", "--temperature-points", "10")
        self.assertEqual(grid.n_1, expected["n_1/m-3"][0])
        # The region in per cent, as --region takes it, and the row with its columns.
        row = grid.row(68.3)
        expected = cli_tsv("map", FILES[2], "--density-points", "20", "--temperature-points", "10",
                           "--region", "68.3")
        pandas.testing.assert_frame_equal(same_fields(row, expected), file_name_first(expected),
                                          check_exact=True)
        region = grid.region(68.3)
        self.assertEqual((region["level"],) + region["log_density"] + region["temperature"],
                         tuple(row[["Region/%", "log10 n_1 from", "log10 n_1 to", "T from/K",
                                    "T to/K"]].iloc[0]))
        with self.assertRaises(zeltfit.InputError) as caught:
            grid.region(0.683)
        self.assertEqual(str(caught.exception), "level is in per cent: a number from 1 to below "
                                                "100, e.g. 68.3 (not 0.683)")


class EscapeFactor(unittest.TestCase):
    def test_escape_chosen_named_and_its_spread(self):
        species = zeltfit.Species(INI, SPECIES)
        species.read(FILES[1])
        mewe = species.fit(fit_temperature=True)
        doppler = species.fit(fit_temperature=True, escape="doppler")
        self.assertEqual((mewe.escape, doppler.escape), ("mewe", "doppler"))
        self.assertEqual((mewe.n_1_mewe, doppler.n_1_doppler), (mewe.n_1, doppler.n_1))
        self.assertEqual(mewe.n_1_doppler, doppler.n_1)
        expected = cli_tsv("fit", FILES[1], "--fit-temperature", "--escape", "doppler")
        self.assertEqual(doppler.n_1, expected["n_1/m-3"][0])
        self.assertEqual(doppler.n_1_mewe, expected["n_1 (mewe)/m-3"][0])
        self.assertEqual(doppler.report[-1], "Escape factor: doppler, exact for a homogeneous "
                                             "Doppler source (Irons 1979)")
        self.assertEqual(species.map(density_points=5, temperature_points=5,
                                     escape="doppler").escape, "doppler")
        with self.assertRaises(zeltfit.FileError) as caught:
            species.fit(escape="/nonexistent/table.txt")
        self.assertIn("/nonexistent/table.txt", str(caught.exception))


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
            # A class of pandas' names only its own; the module's classes every public one.
            names = vars(kind) if issubclass(kind, pandas.DataFrame) else dir(kind)
            public = {m for m in names if not m.startswith("_")}
            self.assertEqual(public, members - {"__init__", "__len__"}, name)
            self.assertTrue(kind.__doc__, name)
            for member in public:
                self.assertTrue(getattr(kind, member).__doc__, f"{name}.{member}")
        for name in functions:
            self.assertTrue(getattr(zeltfit, name).__doc__, name)


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


    def test_comment_read_and_bad_configured_value_refused(self):
        with tempfile.TemporaryDirectory() as folder:
            # A comment after the intensity is skipped, and said once as a warning.
            lines = pathlib.Path(FILES[0]).read_bytes().split(b"\r\n")
            commented = os.path.join(folder, "commented.txt")
            pathlib.Path(commented).write_bytes(lines[0] + b"\tline 1 of level 8\r\n" +
                                                b"\r\n".join(lines[1:]))
            species = zeltfit.Species(INI, SPECIES)
            with self.assertWarns(UserWarning) as warned:
                species.read(commented)
            self.assertEqual(str(warned.warning),
                             "Skipped the text after the intensity on 1 line of file "
                             f'"{commented}", first on line 1: "line 1 of level 8".')
            commented_fit = species.fit()
            species.read(FILES[0])
            self.assertEqual(commented_fit.n_1, species.fit().n_1)
            # A value of the configuration that its keyword would refuse is refused, unless the
            # keyword gives one.
            ini = os.path.join(folder, "zeltfit.ini")
            pathlib.Path(ini).write_bytes(
                pathlib.Path(INI).read_bytes().replace(b"Path=0.05", b"Path=-0.05"))
            bad = zeltfit.Species(ini, SPECIES)
            bad.read(FILES[0])
            with self.assertRaises(zeltfit.InputError) as caught:
                bad.fit()
            self.assertEqual(str(caught.exception),
                             f'Invalid value "-0.05" of Path in section [_Parameters] of "{ini}": '
                             "Absorption path (m) takes a number above 0; correct the file or "
                             "give the keyword path")
            self.assertEqual(bad.fit(path=0.05).n_1, commented_fit.n_1)


class AddSpecies(unittest.TestCase):
    def test_species_from_asd_exports_fits_as_the_program(self):
        exports = os.path.join(SHARE, "rare-gases")
        lines = os.path.join(exports, "Ar_I_lines_asd.csv")
        levels = os.path.join(exports, "Ar_I_levels_asd.csv")
        with tempfile.TemporaryDirectory() as folder:
            ini = os.path.join(folder, "zeltfit.ini")
            pathlib.Path(ini).write_bytes(b"[_Files]\r\nDatabase=" + folder.encode() + b"\r\n")
            preview = zeltfit.add_species("Ar I", lines=lines, levels=levels, ini=ini,
                                          preview=True)
            self.assertEqual(os.listdir(folder), ["zeltfit.ini"])
            self.assertEqual((preview["lines"], preview["levels"], preview["boltzmax"],
                              preview["mass"], preview["written"]), (29, 14, 4, 39.948, False))
            added = zeltfit.add_species("Ar I", lines=lines, levels=levels, ini=ini)
            self.assertEqual(added["notes"][0], "Lines: 29 kept; wavelengths in air.")
            species = zeltfit.Species(ini, "Ar I")
            species.read(FILES[2])
            keywords = {"fit_temperature": True, "gas_temperature": 400, "path": 0.05}
            row = species.fit(**keywords).row()
            expected = cli_tsv("fit", FILES[2], "--fit-temperature", "--gas-temperature", "400",
                               "--path", "0.05", ini=ini)
            pandas.testing.assert_frame_equal(same_fields(row, expected),
                                              file_name_first(expected), check_exact=True)
            self.assertAlmostEqual(row["n_1/m-3"][0] / 5e16, 1, delta=0.02)
            with self.assertRaises(zeltfit.InputError) as caught:
                zeltfit.add_species("Ar I", lines=lines, levels=levels, ini=ini)
            self.assertEqual(str(caught.exception),
                             f'The species section [Ar I] is in "{ini}" already: remove it, or '
                             "choose another name")
            with self.assertRaises(zeltfit.InputError) as caught:
                zeltfit.add_species("Ar I x", lines=levels, levels=levels, ini=ini)
            self.assertTrue(str(caught.exception).startswith(f'File "{levels}", line 1: the '
                                                             'column "obs_wl_air(nm)" is missing'))
            # A refusal is the data's, an export that cannot be read the file system's.
            missing = os.path.join(folder, "none.csv")
            with self.assertRaises(zeltfit.FileError) as caught:
                zeltfit.add_species("Ar I x", lines=missing, levels=levels, ini=ini)
            self.assertIn(f'"{missing}"', str(caught.exception))
            self.assertEqual(sorted(os.listdir(folder)),
                             ["Ar_I.txt", "Ar_I_levels.txt", "zeltfit.ini"])


class ArraysAsFiles(unittest.TestCase):
    def cli_messages(self, folder, data):
        """What zeltfit-cli says on a fit of `data` as a file named as read() names arrays."""
        pathlib.Path(folder, "arrays.txt").write_text(
            "".join(f"{float(w)!r} {float(i)!r}\n" for w, i in data))
        return subprocess.run([CLI, "--ini", INI, "--species", SPECIES, "fit", "arrays.txt"],
                              capture_output=True, text=True, cwd=folder).stderr.splitlines()

    def test_messages_of_the_program(self):
        species = zeltfit.Species(INI, SPECIES)
        data = numpy.loadtxt(FILES[2])
        with tempfile.TemporaryDirectory() as folder:
            # A wavelength the species does not have stops the read there, as in a file.
            unknown = data.copy()
            unknown[3, 0] = 696.54
            expected = self.cli_messages(folder, unknown)
            with self.assertWarns(zeltfit.DataWarning) as caught:
                species.read(unknown)
            self.assertEqual(expected[0], "Wavelength 696.540000 was not found. Import was "
                                          "stopped. Check used specie or wavelength precision.")
            self.assertEqual(str(caught.warning), expected[0])
            self.assertEqual(len(species.fit().lines), 3)
            # A NaN is named by its line, as the number a file cannot hold.
            nan = data.copy()
            nan[3, 1] = numpy.nan
            expected = self.cli_messages(folder, nan)
            with self.assertRaises(zeltfit.InputError) as caught:
                species.read(nan)
            self.assertEqual(expected[0], 'Invalid numeric input "nan" in file "arrays.txt", '
                                          "line 4.")
            self.assertEqual(str(caught.exception), expected[0])

    def test_large_arrays_refused_by_size_alone(self):
        class Huge:
            """Ten million lines that must never be converted."""

            def __len__(self):
                return 10 ** 7

            def __array__(self, *arguments):
                raise AssertionError("converted")

        species = zeltfit.Species(INI, SPECIES)
        for arguments in ((Huge(), Huge()), (Huge(),), (numpy.ones(10001), numpy.ones(10001))):
            with self.assertRaises(zeltfit.InputError) as caught:
                species.read(*arguments)
            self.assertEqual(str(caught.exception), 'Cannot read file "arrays.txt": more than '
                                                    "10000 lines, the limit for a measurement "
                                                    "file.")


class Arguments(unittest.TestCase):
    def test_numbers_and_paths_of_any_kind(self):
        species = zeltfit.Species(pathlib.Path(INI), SPECIES)
        species.read(FILES[2])
        plain = species.fit(fit_temperature=True, temperature=2000, path=0.05,
                            max_iterations=50).row()
        for kinds in ({"temperature": numpy.int64(2000), "path": numpy.float64(0.05),
                       "max_iterations": numpy.int32(50)},
                      {"temperature": fractions.Fraction(2000), "path": fractions.Fraction(1, 20),
                       "max_iterations": 50}):
            pandas.testing.assert_frame_equal(
                species.fit(fit_temperature=numpy.bool_(True), **kinds).row(), plain,
                check_exact=True)
        with self.assertRaises(zeltfit.InputError) as caught:
            species.fit(path=True)
        self.assertEqual(str(caught.exception), "path takes a number")
        from_files = zeltfit.Species(database=pathlib.Path(SHARE), levels="Ar_levels.txt",
                                     lines="Ar,I", mass=40, boltzmann_levels=numpy.int64(4))
        self.assertEqual(from_files.name, "Ar I")
        # A single path, str or os.PathLike, is a batch of one file.
        one = zeltfit.batch_fit(FILES[2], INI, SPECIES)
        self.assertEqual(list(one["Filename"]), ["argon_5e16.txt"])
        pandas.testing.assert_frame_equal(zeltfit.batch_fit(pathlib.Path(FILES[2]), INI, SPECIES),
                                          one, check_exact=True)

    def test_file_system_faults_are_file_errors(self):
        species = zeltfit.Species(INI, SPECIES)
        with self.assertRaises(zeltfit.FileError):
            species.read(DEMO)
        with self.assertRaises(zeltfit.FileError) as caught:
            zeltfit.Species(os.path.join(DEMO, "none.ini"), SPECIES)
        self.assertIn("none.ini", str(caught.exception))
        series = zeltfit.batch_fit(FILES, INI, SPECIES)
        with tempfile.TemporaryDirectory() as folder:
            if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", folder],
                              capture_output=True).returncode != 0:
                self.skipTest("a full disk needs a tmpfs mounted (root)")
            try:
                filler = os.open(os.path.join(folder, "filler"), os.O_WRONLY | os.O_CREAT)
                try:
                    with self.assertRaises(OSError):
                        while True:
                            os.write(filler, b"x" * 4096)
                finally:
                    os.close(filler)
                species.read(FILES[2])
                with self.assertRaises(zeltfit.FileError):
                    series.to_tsv(os.path.join(folder, "series.tsv"))
                with self.assertRaises(zeltfit.FileError):
                    species.fit(log=os.path.join(folder, "fit.log"))
                self.assertEqual(os.listdir(folder), ["filler"])
            finally:
                subprocess.run(["umount", folder], check=True)


class Plots(unittest.TestCase):
    def test_plots_at_journal_size(self):
        import matplotlib

        matplotlib.use("Agg")
        import matplotlib.pyplot as plt

        species = zeltfit.Species(INI, SPECIES)
        species.read(FILES[1])
        fit = species.fit(fit_temperature=True, temperature=2000)
        grid = species.map(from_density=1.85e17, to_density=2.2e17, density_points=60,
                           from_temperature=1420, to_temperature=1600, temperature_points=60)
        series = zeltfit.batch_fit(DEMO, INI, SPECIES, fit_temperature=True, temperature=2000)
        # A journal's column: 85 mm wide, at 300 dpi.
        for name, draw in (("fit", fit.plot), ("map", lambda ax: grid.plot(ax, fit=fit)),
                           ("series", series.plot)):
            figure, ax = plt.subplots(figsize=(85 / 25.4, 65 / 25.4), layout="constrained")
            self.assertIs(draw(ax), ax)
            if SCREENSHOTS:
                figure.savefig(os.path.join(SCREENSHOTS, f"python-{name}.png"), dpi=300)
            plt.close(figure)
        # What each shows: the measured fractions as bars, the fit's ellipse on the map, the
        # quoted uncertainties as error bars.
        ax = fit.plot()
        self.assertEqual([bar.get_height() for bar in ax.patches], list(fit.lines.bf_measured))
        self.assertEqual(ax.get_xlabel(), "Wavelength (nm)")
        ax = grid.plot(fit=fit)
        ellipse = [line for line in ax.lines if line.get_label() == "fit's ellipse"][0]
        numpy.testing.assert_array_equal(ellipse.get_xydata(), fit.ellipse(68.3))
        ax = series.plot()
        bars = ax.containers[0]
        self.assertEqual(list(bars.lines[0].get_ydata()), list(series.sort_values("x")["n_1/m-3"]))
        plt.close("all")


class Threads(unittest.TestCase):
    def test_four_threads_equal_serial(self):
        # Each thread's measurement from arrays of its own under the same file name.
        measurements = [numpy.loadtxt(FILES[i % 3]) for i in range(4)]

        def fit(i, log):
            species = zeltfit.Species(INI, SPECIES)
            species.read(measurements[i][:, 0], measurements[i][:, 1])
            return species.fit(fit_temperature=True, temperature=2000, log=log).row().to_csv()

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
        # The cluster closes without a warning: its workers end when asked to.
        with self.assertNoLogs("distributed", level="WARNING"):
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
