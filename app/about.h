// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's version, licence and citation, as zeltfit-cli --version and the window's About
// box give them.

#include <string>

namespace zelt {

// `program` and the version of the project, e.g. "zeltfit-cli (Zelt Fit) 1.1.0"; for the
// program "Zelt Fit" itself "Zelt Fit 1.1.0".
std::string VersionLine(const std::string& program);

// What the program is, its licence (GPL-3.0-or-later, without warranty) and how to cite it (the
// program with its version and the branching-fraction method of Schulze et al. 2008), lines
// ended by "\n".
std::string AboutText();

} // namespace zelt
