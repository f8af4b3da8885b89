// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/import.h"

#include "cli/checks.h"

#include "app/listing.h"
#include "common/format.h"
#include "common/textfile.h"

#include <filesystem>

#include <ostream>

namespace zelt {

void TImportCommand::Add(CLI::App& app) {
    Spectra = app.add_subcommand("import", "integrate the lines of raw spectra FILE... into "
                                           "measurement files in --out DIR");
    Lines = app.add_subcommand("import-lines", "match line lists FILE... to the database lines "
                                               "into measurement files in --out DIR");
    for (CLI::App* command : {Spectra, Lines}) {
        command->add_option("FILE", Files, "raw spectra or line lists")->required();
        command->add_option("--out", Folder, "folder of the measurement files")->required();
        command->add_option("--format", Format, "what to print")
            ->check(CLI::IsMember({"notes", "tsv"}))
            ->capture_default_str();
    }
    // The numbers of the import's table, with its defaults and limits.
    for (const TImportSetting& setting : ImportSettings())
        ((setting.Use & UsedByImport) != 0 ? Spectra : Lines)
            ->add_option(std::string(setting.Option), Settings.*setting.Value,
                         std::string(setting.Help))
            ->default_str(setting.Special.empty() ? FloatToStr(setting.Default)
                                                  : std::string(setting.Special))
            ->check(SettingCheck(setting));
    Spectra->add_option("--response", Settings.Response,
                        "relative spectral response, wavelength (nm) and counts per photon");
    Spectra->add_flag("--sum-blends", Settings.SumBlends,
                      "sum blends of one upper level, shared by their A");
    Lines->add_flag("--photons", Settings.Photons, "the intensities are photon counts");
}

int TImportCommand::Run(TZeltApp& zelt, std::ostream& out, std::ostream& err) const {
    std::error_code error;
    std::filesystem::create_directories(PathFromUtf8(Folder), error);
    int status = 0;
    for (const std::string& file : Files) {
        const TImportOutcome outcome = Spectra->parsed()
                                           ? zelt.ImportSpectrum(file, Folder, Settings)
                                           : zelt.ImportLineList(file, Folder, Settings);
        for (const std::string& message : outcome.Messages)
            err << message << '\n';
        if (!outcome.Done) {
            err << file << ": " << outcome.Error << '\n';
            status = 1;
            continue;
        }
        if (Format == "tsv") {
            out << outcome.TableText;
            continue;
        }
        for (const std::string& note : outcome.Notes)
            out << note << '\n';
        out << "Written: " << outcome.Measurement << " and " << FileNameOf(outcome.Table) << '\n';
    }
    return status;
}

} // namespace zelt
