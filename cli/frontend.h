// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zeltfit-cli: the window's computations from the command line.

#include <iosfwd>

namespace zelt {

// Runs the command line; returns the exit status: 0 done, 1 an error (its message went to
// `err`), 2 a usage error.
int RunCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);

} // namespace zelt
