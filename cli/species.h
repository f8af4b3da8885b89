// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zeltfit-cli species add: a species made from NIST ASD exports (app/addspecies.h).

#include "app/configstore.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace zelt {

struct TSpeciesAddCommand {
    std::string Name, LinesFile, LevelsFile, Database;
    std::optional<double> Mass;
    std::optional<std::int32_t> Boltzmax;
    CLI::App* Command = nullptr;

    // Adds "add" below the subcommand "species".
    void Add(CLI::App& species);
    bool Parsed() const { return Command->parsed(); }
    // Plans and writes the species, printing what was kept and written on `out`; returns the
    // exit status: 0, or 1 when it was refused (the reason on `err`, nothing written).
    int Run(TConfigStore& config, std::ostream& out, std::ostream& err) const;
};

} // namespace zelt
