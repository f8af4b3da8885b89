// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/arguments.h"

#include "python/errors.h"

namespace zelt {

namespace {

// Whether `value` is a real number and not a bool (which Python counts as an integer).
bool IsRealNumber(const py::handle& value) {
    const py::object real = py::module_::import("numbers").attr("Real");
    const py::object boolean = py::module_::import("numpy").attr("bool_");
    return py::isinstance(value, real) && !py::isinstance<py::bool_>(value) &&
           !py::isinstance(value, boolean);
}

} // namespace

bool IsPath(const py::handle& value) {
    return py::isinstance<py::str>(value) || py::isinstance<py::bytes>(value) ||
           py::hasattr(value, "__fspath__");
}

std::string PathText(const py::handle& path, const char* argument) {
    if (!IsPath(path)) {
        PyErr_SetString(PyExc_TypeError, (std::string(argument) +
                                          " must be a path: str, bytes or os.PathLike, not " +
                                          std::string(py::str(py::type::of(path).attr("__name__"))))
                                             .c_str());
        throw py::error_already_set();
    }
    const py::module_ os = py::module_::import("os");
    return os.attr("fsdecode")(os.attr("fspath")(path)).cast<std::string>();
}

std::string NumberText(const py::handle& value, const std::string& argument) {
    if (!IsRealNumber(value))
        Raise(Errors().InputError, argument + " takes a number");
    const py::object integral = py::module_::import("numbers").attr("Integral");
    if (py::isinstance(value, integral))
        return py::str(py::int_(py::reinterpret_borrow<py::object>(value)));
    return py::repr(py::float_(py::reinterpret_borrow<py::object>(value)));
}

double RealNumber(const py::handle& value, const std::string& argument) {
    if (!IsRealNumber(value))
        Raise(Errors().InputError, argument + " takes a number");
    return py::float_(py::reinterpret_borrow<py::object>(value)).cast<double>();
}

} // namespace zelt
