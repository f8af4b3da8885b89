// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/species.h"

#include "cli/checks.h"

#include "app/addspecies.h"
#include "app/application.h"
#include "common/errors.h"

#include <ostream>

namespace zelt {

void TSpeciesAddCommand::Add(CLI::App& species) {
    Command = species.add_subcommand(
        "add", "make the species NAME (\"Kr I\") from NIST ASD exports: its level file and line "
               "table in the database folder, its section in the configuration");
    Command->add_option("NAME", Name, "species section: element and ion stage first")->required();
    Command->add_option("--lines", LinesFile, "the ASD's lines export (CSV or tab-delimited)")
        ->required();
    Command->add_option("--levels", LevelsFile, "the ASD's levels export (CSV or tab-delimited)")
        ->required();
    Command->add_option("--mass", Mass, "atomic mass in u")
        ->default_str("the standard atomic weight")
        ->check(NumberAbove(0));
    Command->add_option("--boltzmax", Boltzmax, "levels with a Boltzmann population")
        ->default_str("the levels below the first excited configuration")
        ->check(WholeNumberFrom(1));
    Command->add_option("--database", Database, "folder of the files")
        ->default_str("Database of [_Files]");
}

int TSpeciesAddCommand::Run(TConfigStore& config, std::ostream& out, std::ostream& err) const {
    try {
        const TSpeciesPlan plan =
            PlanSpecies(config, {Name, LinesFile, LevelsFile, Mass, Boltzmax, Database});
        WriteSpecies(config, plan);
        for (const std::string& note : plan.Notes)
            out << note << '\n';
        out << "Written: " << plan.LevelFile << ", " << plan.LineTable << " and the section ["
            << plan.Section << "] of " << config.FileName() << '\n';
        return 0;
    } catch (const std::exception& e) {
        err << ErrorReportText(MessageText(e.what())) << '\n';
        return 1;
    }
}

} // namespace zelt
