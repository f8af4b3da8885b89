// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The arguments of the zeltfit module as Python hands them over: paths as str, bytes or any
// os.PathLike, numbers of any real type (int, float, NumPy's scalars, Fraction).

#include <pybind11/pybind11.h>

#include <string>

namespace zelt {

namespace py = pybind11;

// Whether `value` names a path: str, bytes or os.PathLike.
bool IsPath(const py::handle& value);
// The path's text (os.fsdecode(os.fspath(path))); TypeError for anything else.
std::string PathText(const py::handle& path, const char* argument);

// The text of a number as zeltfit-cli's option would be given it: an integer's digits, and for
// any other real number the shortest text of its double, which reads back as that double.
// InputError "`argument` takes a number" for a bool or anything not a real number.
std::string NumberText(const py::handle& value, const std::string& argument);
// A real number as a double, refused as NumberText refuses it.
double RealNumber(const py::handle& value, const std::string& argument);

} // namespace zelt
