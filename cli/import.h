// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zeltfit-cli import and import-lines: raw spectra and line lists made measurement files.

#include "app/application.h"

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <string>
#include <vector>

namespace zelt {

struct TImportCommand {
    std::vector<std::string> Files;
    std::string Folder;
    std::string Format = "notes"; // "notes": what was done; "tsv": the tables of the lines
    TImportSettings Settings;
    CLI::App* Spectra = nullptr;
    CLI::App* Lines = nullptr;

    // Adds the two subcommands to the command line.
    void Add(CLI::App& app);
    bool Parsed() const { return Spectra->parsed() || Lines->parsed(); }
    // Imports every file in turn; a file that fails is reported on `err` and the rest go on.
    // Returns the exit status: 0, or 1 when a file failed.
    int Run(TZeltApp& zelt, std::ostream& out, std::ostream& err) const;
};

} // namespace zelt
