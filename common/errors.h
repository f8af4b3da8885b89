// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's exception classes. Every error carries the text the user is shown;
// the window's error report adds nothing but a final full stop where one is missing.

#include <stdexcept>
#include <string>

namespace zelt {

// Base of every error the program raises itself.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// A file could not be opened, read or written, or a number in it could not be converted.
class EInOutError : public Exception {
public:
    explicit EInOutError(const std::string& message, int errorCode = 0)
        : Exception(message), errorCode_(errorCode) {}
    int errorCode() const { return errorCode_; }

private:
    int errorCode_;
};

// Errors of the database table readers and the table store's record access.
class TxtError : public EInOutError {
public:
    using EInOutError::EInOutError;
};

// Errors of the table store's nearest-wavelength search.
class TextBaseError : public Exception {
public:
    using Exception::Exception;
};

// Integer errors: an index outside its array, an integer result outside its type.
class EIntError : public Exception {
public:
    using Exception::Exception;
};
class ERangeError : public EIntError {
public:
    using EIntError::EIntError;
};
class EIntOverflow : public EIntError {
public:
    using EIntError::EIntError;
};

// A value that does not fit a format or a conversion.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Floating-point faults: invalid operation (e.g. 0/0, sqrt(-1)), division by zero, overflow.
class EMathError : public Exception {
public:
    using Exception::Exception;
};
class EInvalidOp : public EMathError {
public:
    using EMathError::EMathError;
};
class EZeroDivide : public EMathError {
public:
    using EMathError::EMathError;
};
class EOverflow : public EMathError {
public:
    using EMathError::EMathError;
};

// A long computation stopped at the user's request; what it changed is undone by its caller.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

// The text of the common error report: the message, with a "." appended when its last
// character sorts after "." (a letter or a digit; "Not enough lines for Zelt method." and
// "Wrong source in ini file. " stay as they are).
std::string ErrorReportText(const std::string& message);

} // namespace zelt
