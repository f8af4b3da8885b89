# SPDX-License-Identifier: GPL-3.0-or-later
"""Self-absorption branching-fraction fits of n_1 and T_exc from Python.

The numbers are those of zeltfit-cli, bit for bit. A Species loads a species section of a
configuration file (zeltfit.ini), or a species from its database files; it reads a measurement
and maps or fits it. batch_fit fits many files, on this machine or on the workers of a
dask.distributed client.
"""

import copy
import io
import os

from ._zeltfit import (Error, FileError, FitResult, InputError, LineTable, MapResult, Species,
                       add_species, batch_files)

__all__ = ["Error", "FileError", "FitResult", "InputError", "LineTable", "MapResult", "Species",
           "add_species", "batch_files", "batch_fit", "read_tsv"]

# Parts per worker: more parts than workers even out files and workers of unequal speed.
_PARTS_PER_WORKER = 4


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
    """A DataFrame of zeltfit-cli's --format tsv text: every number as the double it was written
    for, empty fields as NaN and every other text as it stands (a species "NA" stays "NA")."""
    import pandas

    return pandas.read_csv(io.StringIO(text), sep="\t", float_precision="round_trip",
                           keep_default_na=False, na_values=[""])


def batch_fit(paths, ini=None, species=None, client=None, **parameters):
    """Fits every measurement file of `paths` (files and folders) as zeltfit-cli batch fit.

    `ini` is the configuration file and `species` its species section, or `species` is a
    Species (then `ini` is not needed). The keywords are those of Species.fit. Returns a pandas
    DataFrame with the columns of `zeltfit-cli batch fit --format tsv`, the file name first, one
    row per fitted file in the order of the batch (read_tsv reads the program's output the same
    way); the files that fail are in frame.attrs["failures"] as (path, error) pairs. With a
    dask.distributed `client` the files are spread over its workers, with a concurrent.futures
    executor (ThreadPoolExecutor) over its threads; the rows are the same.
    """
    import pandas

    if not isinstance(species, Species):
        if ini is None or species is None:
            raise InputError("batch_fit needs ini and species, or a Species")
        species = Species(ini, species)
    files = batch_files(list(paths))
    levels, header, rows, failures = 0, "", [], []
    for part_levels, part_header, part_rows, part_failures in _run_parts(species, files, client,
                                                                         parameters):
        if part_header and not header:
            levels, header = part_levels, part_header
        if part_header and part_levels != levels:
            raise Error("the parts of the batch populate different numbers of levels")
        rows.append(part_rows)
        failures.extend(part_failures)
    frame = read_tsv(header + "".join(rows)) if header else pandas.DataFrame()
    if header:
        frame = frame[["Filename"] + [c for c in frame.columns if c != "Filename"]]
    frame.attrs["failures"] = failures
    return frame
