// SPDX-License-Identifier: GPL-3.0-or-later
#include "python/errors.h"

#include "common/errors.h"

#include <new>

namespace zelt {

TErrors& Errors() {
    static TErrors errors;
    return errors;
}

void Raise(const py::object& kind, const std::string& text) {
    PyErr_SetString(kind.ptr(), text.c_str());
    throw py::error_already_set();
}

void Check(const TOutcome& outcome) {
    if (outcome.Done)
        return;
    std::string text = outcome.Error;
    if (text.empty())
        for (const std::string& message : outcome.Messages)
            text += (text.empty() ? "" : "\n") + message;
    if (!outcome.Cause.empty())
        text += "\n" + outcome.Cause;
    if (outcome.Kind == TErrorKind::Memory)
        throw std::bad_alloc();
    Raise(outcome.Kind == TErrorKind::File ? Errors().FileError : Errors().InputError, text);
}

void Warn(const TOutcome& outcome) {
    for (const auto* texts : {&outcome.Messages, &outcome.Warnings})
        for (const std::string& text : *texts)
            if (PyErr_WarnEx(Errors().DataWarning.ptr(), text.c_str(), 1) != 0)
                throw py::error_already_set();
}

void AddErrors(py::module_& m) {
    TErrors& errors = Errors();
    errors.Error = py::reinterpret_borrow<py::object>(
        PyErr_NewExceptionWithDoc("zeltfit.Error", "Every error of zeltfit.", nullptr, nullptr));
    const auto derived = [&](const char* name, const char* doc, PyObject* base) {
        py::tuple bases = py::make_tuple(errors.Error, py::handle(base));
        return py::reinterpret_steal<py::object>(
            PyErr_NewExceptionWithDoc(name, doc, bases.ptr(), nullptr));
    };
    errors.InputError =
        derived("zeltfit.InputError", "Data or arguments the program refuses (a ValueError).",
                PyExc_ValueError);
    errors.FileError = derived(
        "zeltfit.FileError", "A file that cannot be read or written (an OSError).", PyExc_OSError);
    errors.DataWarning = py::reinterpret_steal<py::object>(PyErr_NewExceptionWithDoc(
        "zeltfit.DataWarning",
        "What a command noticed in the data and went on with: a read stopped at a wavelength "
        "the species does not have (the lines before it are kept), a negative intensity.",
        PyExc_UserWarning, nullptr));
    m.attr("Error") = errors.Error;
    m.attr("DataWarning") = errors.DataWarning;
    m.attr("InputError") = errors.InputError;
    m.attr("FileError") = errors.FileError;
    py::register_exception_translator([](std::exception_ptr error) {
        try {
            if (error)
                std::rethrow_exception(error);
        } catch (const EInOutError& e) {
            PyErr_SetString(Errors().FileError.ptr(), MessageText(e.what()).c_str());
        } catch (const Exception& e) {
            PyErr_SetString(Errors().InputError.ptr(), MessageText(e.what()).c_str());
        }
    });
}

} // namespace zelt
