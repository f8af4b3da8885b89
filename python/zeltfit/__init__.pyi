from concurrent.futures import Executor
from typing import Any, Optional, Sequence, Union, overload

import numpy
import numpy.typing
import pandas

class Error(Exception): ...
class InputError(Error, ValueError): ...
class FileError(Error, OSError): ...

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
    return_code: int
    flags: int
    procedure: str
    escape: str  # "mewe", "doppler" or the table's file
    n_1_mewe: Optional[float]  # m-3, n_1 with the escape factor mewe
    n_1_doppler: Optional[float]  # m-3, n_1 with the escape factor doppler
    lines: LineTable
    report: list[str]
    messages: list[str]
    def row(self) -> tuple[list[str], list[Any]]: ...
    def to_pandas(self) -> pandas.DataFrame: ...

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
    def region(self, level: float) -> dict[str, Any]: ...
    def to_pandas(self) -> pandas.DataFrame: ...

class Species:
    ini: str
    name: str
    species_list: list[str]
    @overload
    def __init__(self, ini: str, species: str) -> None: ...
    @overload
    def __init__(self, *, database: str, levels: str, lines: str, mass: float,
                 boltzmann_levels: int = ..., name: Optional[str] = ...) -> None: ...
    def read(self, path: str) -> None: ...
    def read_arrays(self, wavelengths: numpy.typing.ArrayLike,
                    intensities: numpy.typing.ArrayLike,
                    uncertainties: Optional[numpy.typing.ArrayLike] = ...,
                    name: str = ...) -> None: ...
    def fit(self, *, density: float = ..., temperature: float = ...,
            fit_temperature: bool = ..., max_iterations: int = ...,
            gas_temperature: float = ..., path: float = ..., escape: str = ...,
            log: str = ...) -> FitResult: ...
    def map(self, *, from_density: float = ..., to_density: float = ...,
            density_points: int = ..., from_temperature: float = ...,
            to_temperature: float = ..., temperature_points: int = ...,
            gas_temperature: float = ..., path: float = ...,
            escape: str = ...) -> MapResult: ...
    def batch_rows(self, files: Sequence[str], start: int, stop: int,
                   **parameters: Any) -> tuple[int, str, str, list[tuple[str, str]]]: ...

def add_species(name: str, *, lines: str, levels: str, ini: Optional[str] = ...,
                mass: Optional[float] = ..., boltzmax: Optional[int] = ..., database: str = ...,
                preview: bool = ...) -> dict[str, Any]: ...
def batch_files(paths: Sequence[str]) -> list[str]: ...
def read_tsv(text: str) -> pandas.DataFrame: ...
def batch_fit(paths: Sequence[str], ini: Optional[str] = ...,
              species: Union[str, Species, None] = ...,
              client: Union[Executor, Any, None] = ..., **parameters: Any) -> pandas.DataFrame: ...
