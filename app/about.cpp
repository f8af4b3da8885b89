// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/about.h"

#include "common/version.h"

namespace zelt {

std::string VersionLine(const std::string& program) {
    const std::string version = kProgramVersion;
    return program == "Zelt Fit" ? program + " " + version : program + " (Zelt Fit) " + version;
}

std::string AboutText() {
    const std::string version = kProgramVersion;
    return "Density and excitation temperature from self-absorbed emission lines.\n"
           "\n"
           "Copyright 2026 Zelt Fit developers.\n"
           "Licence GPL-3.0-or-later: the GNU General Public License, version 3 or later\n"
           "<https://www.gnu.org/licenses/gpl-3.0.html>. This is free software: you may change\n"
           "and redistribute it. There is NO WARRANTY, to the extent permitted by law.\n"
           "\n"
           "To cite: Zelt Fit " +
           version +
           ", Zelt Fit developers (CITATION.cff), and the method:\n"
           "M. Schulze, A. Yanguas-Gil, A. von Keudell and P. Awakowicz,\n"
           "J. Phys. D: Appl. Phys. 41 (2008) 065206.\n";
}

} // namespace zelt
