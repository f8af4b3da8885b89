from typing import Any, Optional, Sequence

import numpy
import numpy.typing
import pandas

class Error(Exception): ...
class InputError(Error, ValueError): ...
class FileError(Error, OSError): ...

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
    report: list[str]
    messages: list[str]
    def row(self) -> tuple[list[str], list[Any]]: ...

class MapResult:
    file: str
    rss: numpy.ndarray  # [temperature step, density step]
    log_density: numpy.ndarray  # log10 n_1, n_1 in m-3
    temperature: numpy.ndarray  # K
    n_1: float
    T_exc: float
    report: list[str]
    def region(self, level: float) -> dict[str, Any]: ...

class Species:
    ini: str
    name: str
    species_list: list[str]
    def __init__(self, ini: str, species: str) -> None: ...
    def read(self, path: str) -> None: ...
    def read_arrays(self, wavelengths: numpy.typing.ArrayLike,
                    intensities: numpy.typing.ArrayLike,
                    uncertainties: Optional[numpy.typing.ArrayLike] = ...,
                    name: str = ...) -> None: ...
    def fit(self, *, density: float = ..., temperature: float = ...,
            fit_temperature: bool = ..., max_iterations: int = ...,
            gas_temperature: float = ..., path: float = ..., log: str = ...) -> FitResult: ...
    def map(self, *, from_density: float = ..., to_density: float = ...,
            density_points: int = ..., from_temperature: float = ...,
            to_temperature: float = ..., temperature_points: int = ...,
            gas_temperature: float = ..., path: float = ...) -> MapResult: ...
    def batch_rows(self, files: Sequence[str], axis_files: Sequence[str],
                   **parameters: Any) -> tuple[list[str], list[list[Any]], list[tuple[str, str]]]: ...

def batch_files(paths: Sequence[str]) -> list[str]: ...
def batch_fit(paths: Sequence[str], ini: Optional[str] = ..., species: Any = ...,
              client: Any = ..., **parameters: Any) -> pandas.DataFrame: ...
