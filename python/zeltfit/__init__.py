# SPDX-License-Identifier: GPL-3.0-or-later
"""Self-absorption branching-fraction fits of n_1 and T_exc from Python.

The numbers are those of zeltfit-cli, bit for bit. A Species loads a species section of a
configuration file (zeltfit.ini), or a species from its database files; it reads a measurement
(a file, or arrays in memory) and maps or fits it. batch_fit fits many files, on this machine
or on the workers of a dask.distributed client, into a SeriesFrame. Results plot themselves
with matplotlib: FitResult.plot, MapResult.plot, SeriesFrame.plot.
"""

import copy
import hashlib
import io
import os
import pathlib

import pandas

from . import _plots
from ._zeltfit import (DataWarning, Error, FileError, FitResult, InputError, LineTable,
                       MapResult, Species, __version__, _save_text, add_species, batch_files)

__all__ = ["DataWarning", "Error", "FileError", "FitResult", "InputError", "LineTable",
           "MapResult", "SeriesFrame", "Species", "add_species", "batch_files", "batch_fit",
           "data_folder", "demo_ini", "read_tsv"]

# Parts per worker: more parts than workers even out files and workers of unequal speed.
_PARTS_PER_WORKER = 4

FitResult.plot = _plots.plot_fit
MapResult.plot = _plots.plot_map


class SeriesFrame(pandas.DataFrame):
    """The rows of a series of fits (batch_fit, read_tsv): a pandas DataFrame with the columns
    of zeltfit-cli batch fit --format tsv, the file name first, the files that failed in
    attrs["failures"]. Its plot() draws n_1 and T_exc over the series' x; pandas' own plots are
    those of pandas.DataFrame(frame).plot."""

    @property
    def _constructor(self):
        return SeriesFrame

    plot = _plots.plot_series

    def to_tsv(self, path):
        """Writes the rows to the file `path` as tab-separated text with a header row (as
        zeltfit-cli --format tsv writes them: every number reads back as the double it was,
        empty fields where a row has none), in full or not at all; a file-system fault raises
        FileError."""
        text = self.to_csv(sep="\t", index=False, lineterminator="\n")
        _save_text(path, text)


def _series_frame(text):
    """A SeriesFrame of zeltfit-cli's --format tsv text, the file name first."""
    frame = SeriesFrame(read_tsv(text))
    if "Filename" in frame.columns:
        frame = frame[["Filename"] + [c for c in frame.columns if c != "Filename"]]
    return frame


def _fit_part(species, files, start, stop, parameters):
    """The rows of a part of a batch, fitted with a copy of the species of its own."""
    return copy.copy(species).batch_rows(files, start, stop, **parameters)


def _run_parts(species, files, client, parameters):
    """The parts of the batch, fitted serially, on a dask.distributed client's workers or on a
    concurrent.futures executor, in the order of the files."""
    if client is None:
        return [_fit_part(species, files, 0, len(files), parameters)]
    dask = hasattr(client, "scheduler_info")
    workers = len(client.scheduler_info()["workers"]) if dask else os.cpu_count()
    count = max(1, min(len(files), _PARTS_PER_WORKER * max(1, workers)))
    bounds = [len(files) * i // count for i in range(count + 1)]
    if dask:
        futures = [client.submit(_fit_part, species, files, start, stop, parameters, pure=False)
                   for start, stop in zip(bounds, bounds[1:])]
        return client.gather(futures)
    futures = [client.submit(_fit_part, species, files, start, stop, parameters)
               for start, stop in zip(bounds, bounds[1:])]
    return [future.result() for future in futures]


def read_tsv(text):
    """A SeriesFrame of zeltfit-cli's --format tsv text as it stands: every number as the
    double it was written for, empty fields as NaN and every other text as it stands (a
    species "NA" stays "NA")."""
    return SeriesFrame(pandas.read_csv(io.StringIO(text), sep="\t", float_precision="round_trip",
                                       keep_default_na=False, na_values=[""]))


def batch_fit(paths, ini=None, species=None, client=None, **parameters):
    """Fits every measurement file of `paths` as zeltfit-cli batch fit does.

    `paths` is a path (str or os.PathLike) of a file or folder, or a list of them. `ini` is the
    configuration file and `species` its species section, or `species` is a Species (then
    `ini` is not needed). The keywords are those of Species.fit. Returns a SeriesFrame with the
    columns of `zeltfit-cli batch fit --format tsv`, the file name first, one row per fitted
    file in the order of the batch; the files that fail are in frame.attrs["failures"] as
    (path, error) pairs. With a dask.distributed `client` the files are spread over its
    workers, with a concurrent.futures executor (ThreadPoolExecutor) over its threads; the rows
    are the same.
    """
    if not isinstance(species, Species):
        if ini is None or species is None:
            raise InputError("batch_fit needs ini and species, or a Species")
        species = Species(ini, species)
    if isinstance(paths, (str, bytes, os.PathLike)):
        paths = [paths]
    files = batch_files([os.fsdecode(os.fspath(path)) for path in paths])
    levels, header, rows, failures = 0, "", [], []
    for part_levels, part_header, part_rows, part_failures in _run_parts(species, files, client,
                                                                         parameters):
        if part_header and not header:
            levels, header = part_levels, part_header
        if part_header and part_levels != levels:
            raise Error("the parts of the batch populate different numbers of levels")
        rows.append(part_rows)
        failures.extend(part_failures)
    frame = _series_frame(header + "".join(rows)) if header else SeriesFrame()
    frame.attrs["failures"] = failures
    return frame


def data_folder():
    """The folder of the program's data beside this module: the configuration template
    zeltfit.ini, the demo database of Ar I (Ar_levels.txt, Ar_I.txt), its measurements
    (measurements/), spectra (spectra/) and NIST ASD exports (rare-gases/). In a build tree
    it is build/share/Zelt fit 1.0; an installed module carries its own copy."""
    here = pathlib.Path(__file__).resolve().parent
    for folder in (here / "share", here.parent.parent / "share" / "Zelt fit 1.0"):
        if (folder / "zeltfit.ini").is_file():
            return str(folder)
    raise FileError(f'No data folder beside the module "{here}"')


def demo_ini():
    """The configuration file of the demo: species "Ar I" of the demo database with the demo's
    settings, as the program's first start makes it. In a build tree it is data_folder()'s
    zeltfit.ini; an installed module's template names its database only once it knows where it
    lies, so it is written (once per data folder) into the user's cache folder
    ($XDG_CACHE_HOME/zeltfit, else ~/.cache/zeltfit)."""
    folder = pathlib.Path(data_folder())
    template = (folder / "zeltfit.ini").read_bytes()
    if b"@ZELT_DATABASE_DIR@" not in template:
        return str(folder / "zeltfit.ini")
    text = (template.replace(b"@ZELT_DATABASE_DIR@", os.fsencode(folder))
            .replace(b"@ZELT_MEASUREMENTS_DIR@", os.fsencode(folder / "measurements")))
    cache = pathlib.Path(os.environ.get("XDG_CACHE_HOME") or pathlib.Path.home() / ".cache")
    key = hashlib.sha256(os.fsencode(folder)).hexdigest()[:16]
    ini = cache / "zeltfit" / f"{__version__}-{key}" / "zeltfit.ini"
    if not ini.is_file() or ini.read_bytes() != text:
        try:
            ini.parent.mkdir(parents=True, exist_ok=True)
        except OSError as error:
            raise FileError(error.errno, f'Cannot create folder "{ini.parent}": '
                            f"{error.strerror}") from error
        _save_text(ini, text)
    return str(ini)
