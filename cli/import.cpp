// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/import.h"

#include "cli/checks.h"

#include "app/importrun.h"
#include "app/listing.h"
#include "common/convert.h"
#include "common/textfile.h"

#include <filesystem>
#include <optional>

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
    Spectra->add_option("--width", Settings.Window, "full width of each window (nm)")
        ->default_str("4 line widths, measured")
        ->check(NumberAbove(0));
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
                return ParseRange(text) ? std::string()
                                        : "\"" + text + "\" is not a range FROM-TO in nm";
            },
            "FROM-TO"));
    Spectra
        ->add_option("--saturation", Settings.Saturation,
                     "the detector's saturation level (raw counts), when the file states none")
        ->default_str("from the file, else a flat top")
        ->check(NumberAbove(0));
    Spectra
        ->add_option("--peak-tolerance", Settings.PeakTolerance,
                     "how far a line's peak may lie from its database wavelength (nm)")
        ->capture_default_str()
        ->check(NumberAbove(0));
    Spectra->add_option("--threads", Threads, "threads that share the spectra")
        ->default_str("one per core")
        ->check(CLI::PositiveNumber);
    Lines->add_option("--tolerance", Settings.Tolerance, "largest distance of a match (nm)")
        ->capture_default_str()
        ->check(NumberAbove(0));
    Lines->add_flag("--photons", Settings.Photons, "the intensities are photon counts");
}

std::optional<std::pair<double, double>> ParseRange(const std::string& text) {
    const std::size_t dash = text.find('-', 1);
    double from = 0, to = 0;
    if (dash == std::string::npos || !TryStrToFloat(text.substr(0, dash), from) ||
        !TryStrToFloat(text.substr(dash + 1), to) || !(from < to))
        return std::nullopt;
    return std::pair{from, to};
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
        settings.Exclusions.push_back(*ParseRange(range));
        // The MinGW build keeps to one thread, as its batches do (frontend.cpp).
#ifdef _WIN32
    const std::int32_t threads = 1;
#else
    const std::int32_t threads = Threads;
#endif
    ImportSpectra(zelt, SpectrumFiles(Files), Folder, settings, threads, report);
    return status;
}

} // namespace zelt
