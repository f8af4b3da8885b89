// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why a measurement file could not be read, in the terms of the editor that made it: the
// reader's own error names a token and a line, this names the habit behind it.

#include <string>

namespace zelt {

// What the measurement file has that its reader does not take, in one sentence (UTF-8): a UTF-8
// byte order mark, bytes that are no text (a binary file), a decimal comma or a header line,
// the first of these in the file; empty when it has none, holds no printable character at
// all (the reader says so itself) or cannot be opened. A quoted token
// or line is cut to 40 bytes with an ellipsis.
std::string MeasurementFileProblem(const std::string& path);

} // namespace zelt
