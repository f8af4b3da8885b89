import os
from concurrent.futures import Executor
from numbers import Real
from typing import Any, Optional, Sequence, Union, overload

import matplotlib.axes
import numpy
import numpy.typing
import pandas

__version__: str

_Path = Union[str, bytes, os.PathLike[str]]

class Error(Exception): ...
class InputError(Error, ValueError): ...
class FileError(Error, OSError): ...
class DataWarning(UserWarning): ...

class LineTable:
    wavelength: numpy.ndarray  # nm
    intensity: numpy.ndarray
    intensity_uncertainty: numpy.ndarray  # 0 where none is given
    bf_free: numpy.ndarray  # -1 where none can be formed
    bf_measured: numpy.ndarray
    bf_fit: numpy.ndarray  # -1 where none can be formed
    upper_energy: numpy.ndarray  # eV
    upper_state: list[str]
    lower_energy: numpy.ndarray  # eV
    lower_state: list[str]
    upper_level: numpy.ndarray  # index among the species' levels
    lower_level: numpy.ndarray
    def __len__(self) -> int: ...
    def to_pandas(self) -> pandas.DataFrame: ...

class FitResult:
    file: str
    n_1: float  # m-3
    T_exc: float  # K
    u_T_exc: float  # K
    n_tot: float  # m-3
    densities: numpy.ndarray  # m-3, n_1, n_2, ...
    uncertainties: numpy.ndarray  # m-3
    rss: float
    covariance: numpy.ndarray
    quoted: dict[str, Any] | None  # the likelihood fit's numbers to quote
    return_code: int
    flags: int
    procedure: str
    escape: str  # "mewe", "doppler" or the table's file
    n_1_mewe: Optional[float]  # m-3, n_1 with the escape factor mewe
    n_1_doppler: Optional[float]  # m-3, n_1 with the escape factor doppler
    lines: LineTable
    report: list[str]
    messages: list[str]
    def row(self) -> SeriesFrame: ...
    def ellipse(self, level: Real = ...) -> Optional[numpy.ndarray]: ...  # level in per cent
    def to_pandas(self) -> pandas.DataFrame: ...
    def plot(self, ax: Optional[matplotlib.axes.Axes] = ...) -> matplotlib.axes.Axes: ...

class MapResult:
    file: str
    rss: numpy.ndarray  # [temperature step, density step]
    log_density: numpy.ndarray  # log10 n_1, n_1 in m-3
    temperature: numpy.ndarray  # K
    n_1: float
    T_exc: float
    escape: str
    lines: LineTable
    report: list[str]
    def region(self, level: Real = ...) -> dict[str, Any]: ...  # level in per cent
    def row(self, level: Optional[Real] = ...) -> SeriesFrame: ...
    def to_pandas(self) -> pandas.DataFrame: ...
    def plot(self, ax: Optional[matplotlib.axes.Axes] = ..., level: Real = ...,
             fit: Optional[FitResult] = ...) -> matplotlib.axes.Axes: ...

class SeriesFrame(pandas.DataFrame):
    def plot(self, ax: Optional[matplotlib.axes.Axes] = ...) -> matplotlib.axes.Axes: ...  # type: ignore[override]
    def to_tsv(self, path: _Path) -> None: ...

class Species:
    ini: str
    name: str
    species_list: list[str]
    @overload
    def __init__(self, ini: _Path, species: str) -> None: ...
    @overload
    def __init__(self, *, database: _Path, levels: str, lines: str, mass: Real,
                 boltzmann_levels: int = ..., name: Optional[str] = ...) -> None: ...
    @overload
    def read(self, source: _Path) -> None: ...
    @overload
    def read(self, source: numpy.typing.ArrayLike,
             intensities: Optional[numpy.typing.ArrayLike] = ...,
             uncertainties: Optional[numpy.typing.ArrayLike] = ..., *,
             name: Optional[str] = ...) -> None: ...
    def read_arrays(self, wavelengths: numpy.typing.ArrayLike,
                    intensities: numpy.typing.ArrayLike,
                    uncertainties: Optional[numpy.typing.ArrayLike] = ...,
                    name: str = ...) -> None: ...
    def fit(self, *, density: Real = ..., temperature: Real = ...,
            fit_temperature: bool = ..., max_iterations: int = ...,
            gas_temperature: Real = ..., path: Real = ..., escape: str = ...,
            log: _Path = ...) -> FitResult: ...
    def map(self, *, from_density: Real = ..., to_density: Real = ...,
            density_points: int = ..., from_temperature: Real = ...,
            to_temperature: Real = ..., temperature_points: int = ...,
            gas_temperature: Real = ..., path: Real = ...,
            escape: str = ...) -> MapResult: ...
    def batch_rows(self, files: Sequence[str], start: int, stop: int,
                   **parameters: Any) -> tuple[int, str, str, list[tuple[str, str]]]: ...

def add_species(name: str, *, lines: _Path, levels: _Path, ini: Optional[_Path] = ...,
                mass: Optional[Real] = ..., boltzmax: Optional[int] = ...,
                database: _Path = ..., preview: bool = ...) -> dict[str, Any]: ...
def batch_files(paths: Sequence[str]) -> list[str]: ...
def read_tsv(text: str) -> SeriesFrame: ...
def batch_fit(paths: Union[_Path, Sequence[_Path]], ini: Optional[_Path] = ...,
              species: Union[str, Species, None] = ...,
              client: Union[Executor, Any, None] = ..., **parameters: Any) -> SeriesFrame: ...
def data_folder() -> str: ...
def demo_ini() -> str: ...
