// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zeltfit-cli import and import-lines: raw spectra and line lists made measurement files.

#include "app/application.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

namespace zelt {

struct TImportCommand {
    std::vector<std::string> Files;
    std::string Folder;
    std::string Format = "notes"; // "notes": what was done; "tsv": the tables of the lines
    TImportSettings Settings;
    std::vector<std::string> Exclusions; // "811.1-811.4", nm
    std::int32_t Threads = 0;            // that share the spectra; 0: one per core
    CLI::App* Spectra = nullptr;
    CLI::App* Lines = nullptr;

    // Adds the two subcommands to the command line.
    void Add(CLI::App& app);
    bool Parsed() const { return Spectra->parsed() || Lines->parsed(); }
    // Imports every file in turn (a folder stands for its spectra, SpectrumFiles), spectra on
    // --threads threads with the output of one; a file that fails is reported on `err` and the
    // rest go on. Returns the exit status: 0, or 1 when a file failed.
    int Run(TZeltApp& zelt, std::ostream& out, std::ostream& err) const;
};

} // namespace zelt
