// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The errors of the zeltfit module as Python exceptions, and the outcomes of the application
// layer's commands raised as them.

#include "app/application.h"

#include <pybind11/pybind11.h>

#include <string>

namespace zelt {

namespace py = pybind11;

// The Python classes of the errors: Error, and beside it InputError (a ValueError) for what the
// data or the arguments do not allow and FileError (an OSError) for files that cannot be read
// or written; and the warning DataWarning (a UserWarning) for what a command noticed and went
// on with.
struct TErrors {
    py::object Error, InputError, FileError, DataWarning;
};
TErrors& Errors();

// Raises `kind` with `text`.
[[noreturn]] void Raise(const py::object& kind, const std::string& text);

// Raises the outcome's error when the command failed: a file that cannot be read or written is
// a FileError, anything else an InputError; the text is the error's, then what the file has
// that the reader does not take (the outcome's cause). A species that cannot be loaded says
// why in its messages.
void Check(const TOutcome& outcome);

// Issues each message of an orderly stop (a wavelength not found) and each warning of the
// outcome as a DataWarning, in order; zeltfit-cli prints them to standard error.
void Warn(const TOutcome& outcome);

// Registers the classes Error, InputError and FileError in `m`, and the translation of the
// program's own exceptions by their type, as the outcomes' kinds are found (TErrorKind): an
// EInOutError is a FileError, any other an InputError.
void AddErrors(py::module_& m);

} // namespace zelt
