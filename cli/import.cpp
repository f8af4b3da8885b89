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
    Spectra
        ->add_option("--exclude", Exclusions,
                     "a range of wavelengths FROM-TO (nm) whose pixels are not used, e.g. "
                     "811.1-811.4; may be repeated")
        ->check(CLI::Validator(
            [](const std::string& text) {
                return ExclusionRange(text) ? std::string()
                                            : "\"" + text + "\" is not a range FROM-TO in nm";
            },
            "FROM-TO"));
    Spectra->add_option("--threads", Threads, "threads that share the spectra")
        ->default_str("one per core")
        ->check(CLI::PositiveNumber);
    Lines->add_flag("--photons", Settings.Photons, "the intensities are photon counts");
}

int TImportCommand::Run(TZeltApp& zelt, std::ostream& out, std::ostream& err) const {
    std::error_code error;
    std::filesystem::create_directories(PathFromUtf8(Folder), error);
    int status = 0;
    const auto report = [&](const std::string& file, const TImportOutcome& outcome) {
        for (const std::string& message : outcome.Messages)
            err << message << '\n';
        if (!outcome.Done) {
            err << file << ": " << outcome.Error << '\n';
            status = 1;
            return;
        }
        if (Format == "tsv") {
            out << outcome.TableText;
            return;
        }
        for (const std::string& note : outcome.Notes)
            out << note << '\n';
        out << "Written: " << outcome.Measurement << " and " << FileNameOf(outcome.Table) << '\n';
    };
    if (Lines->parsed()) {
        for (const std::string& file : Files)
            report(file, zelt.ImportLineList(file, Folder, Settings));
        return status;
    }
    TImportSettings settings = Settings;
    for (const std::string& range : Exclusions)
        settings.Exclusions.push_back(*ExclusionRange(range));
#ifdef _WIN32
    // The MinGW build keeps to one thread, as its batches do (frontend.cpp).
    const std::int32_t threads = 1;
#else
    const std::int32_t threads = Threads;
#endif
    zelt.ImportSpectra(SpectrumFiles(Files), Folder, settings, threads, report);
    return status;
}

} // namespace zelt
