# SPDX-License-Identifier: GPL-3.0-or-later
"""Self-absorption branching-fraction fits of n_1 and T_exc from Python.

The numbers are those of zeltfit-cli, bit for bit. A Species loads a species section of a
configuration file (zeltfit.ini); it reads a measurement and maps or fits it. batch_fit fits
many files, on this machine or on the workers of a dask.distributed client.
"""

from ._zeltfit import (Error, FileError, FitResult, InputError, MapResult, Species,
                       batch_files)

__all__ = ["Error", "FileError", "FitResult", "InputError", "MapResult", "Species",
           "batch_files", "batch_fit"]


def _fit_part(ini, species, files, axis_files, parameters):
    """The rows of a part of a batch, fitted with a species of its own."""
    return Species(ini, species).batch_rows(files, axis_files, **parameters)


def batch_fit(paths, ini=None, species=None, client=None, **parameters):
    """Fits every measurement file of `paths` (files and folders) as zeltfit-cli batch fit.

    `ini` is the configuration file and `species` its species section, or `species` is a
    Species (then `ini` is its own). The keywords are those of Species.fit. Returns a pandas
    DataFrame with the result columns of `zeltfit-cli batch fit --format tsv` (up to "x"), the
    file name first, one row per fitted file in the order of the paths; the files that fail are in
    frame.attrs["failures"] as (path, error) pairs. With a dask.distributed `client` the files
    are spread over its workers.
    """
    import pandas

    if isinstance(species, Species):
        ini, species = species.ini, species.name
    if ini is None or species is None:
        raise InputError("batch_fit needs ini and species, or a Species")
    files = batch_files(list(paths))
    if client is None:
        parts = [_fit_part(ini, species, files, files, parameters)]
    else:
        workers = max(1, len(client.scheduler_info()["workers"]))
        size = -(-len(files) // workers) if files else 1
        chunks = [files[i:i + size] for i in range(0, len(files), size)]
        futures = [client.submit(_fit_part, ini, species, chunk, files, parameters, pure=False)
                   for chunk in chunks]
        parts = client.gather(futures)
    columns, rows, failures = [], [], []
    for part_columns, part_rows, part_failures in parts:
        columns = columns or part_columns
        rows.extend(part_rows)
        failures.extend(part_failures)
    frame = pandas.DataFrame(rows, columns=columns or None)
    if columns:
        frame = frame[["Filename"] + [c for c in columns if c != "Filename"]]
    frame.attrs["failures"] = failures
    return frame
