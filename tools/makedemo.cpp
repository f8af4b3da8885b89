// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the demo measurement files of argon I: the model's branching fractions at three
// densities of the metastable 1s5, turned into line intensities with 1 % noise.
//
//   zeltfit-makedemo [--escape mewe|doppler|FILE] [--noise FRACTION] [--out FOLDER] [DATA]
//
// DATA is the folder of Ar_levels.txt and Ar_I.txt (default: the project's data folder), FOLDER
// the folder written (default: DATA). The files measurements/argon_1e16.txt, argon_5e16.txt and
// argon_2e17.txt list the wavelength, exactly as written in Ar_I.txt, and the intensity of every
// line of the table whose lower level is one of the four 1s levels. spectra/argon_5e16.csv is
// the raw spectrum of the second, as a spectrometer's program exports it. --escape makes them
// with another escape factor than mewe and --noise with another relative noise (0: none), so
// that a fit with each model can be tried on data it should give back.
//
// For any species, the same measurement at given values of the model:
//
//   zeltfit-makedemo measurement --levels FILE --lines a,b --database DIR --out FILE
//       --density M-3 --temperature K --mass U --boltzmax N
//       [--gas-temperature K] [--path M] [--noise FRACTION] [--seed N] [--escape mewe|doppler|FILE]
//       [--uncertainties yes]
//
// (gas temperature 400 K, path 0.05 m, no noise, seed 4, escape factor mewe unless given). With
// --uncertainties yes the table beside FILE (FILE.lines.tsv) gives each intensity's standard
// uncertainty, the noise times the intensity without noise, as the import writes it.
// The synthesis itself (tools/demodata.h) is the coverage test's too.

#include "common/convert.h"
#include "common/errors.h"
#include "common/format.h"
#include "common/safefile.h"
#include "common/textfile.h"
#include "linemodel/constants.h"
#include "linemodel/escape.h"
#include "spectrum/measurement.h"
#include "spectrum/specieslines.h"
#include "spectrum/synthetic.h"
#include "tools/demodata.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace zelt {
namespace {

// The demo spectra's excitation temperature and noise, and the seed of their noise; their other
// conditions are those of tools/demodata.h.
constexpr double kTemperature = 1500; // K
constexpr double kNoise = 0.01;       // relative standard deviation of an intensity
constexpr std::uint64_t kSeed = 4;

struct TDemoSpectrum {
    const char* FileName;
    double Density; // m-3, n(1s5)
};
constexpr TDemoSpectrum kSpectra[] = {
    {"argon_1e16.txt", 1e16}, {"argon_5e16.txt", 5e16}, {"argon_2e17.txt", 2e17}};

// The wavelength texts of a line table, keyed by their value: the data lines start after five
// header lines with element, ion and wavelength.
std::map<double, std::string> WavelengthTexts(const std::string& tableFile) {
    std::ifstream stream(PathFromUtf8(tableFile), std::ios::binary);
    if (!stream)
        throw EInOutError("Cannot open file \"" + tableFile + "\"");
    std::map<double, std::string> texts;
    std::string line;
    for (int i = 0; i < 5 && std::getline(stream, line); ++i) {
    }
    while (std::getline(stream, line)) {
        std::istringstream fields(line);
        std::string element, ion, wavelength;
        if (fields >> element >> ion >> wavelength)
            texts[std::stod(wavelength)] = wavelength;
    }
    return texts;
}

// The raw spectrum at n(1s5) = 5e16 m-3: 3648 pixels from 660 to 1160 nm, lines of 0.4 nm
// (FWHM) of up to 2e5 photons, a dark of 1000 counts and a sloped background with read-out and
// Poisson noise, as a "Wave;Sample;Dark;Reference" export with decimal commas.
void MakeSpectrum(TAtomicData& data, const TParamVector& p, const std::string& outFolder) {
    TSyntheticOptions options;
    options.Dark = 1000;
    options.Seed = kSeed;
    const TRawSpectrum spectrum = SyntheticSpectrum(ModelLines(data, p, 2e5), options);
    const std::string folder = outFolder + "/spectra";
    std::filesystem::create_directories(PathFromUtf8(folder));
    TTextWriter writer;
    writer.Create(folder + "/argon_5e16.csv");
    writer.Write(SemicolonExport(spectrum, options.Dark));
    writer.Close();
    std::cout << folder << "/argon_5e16.csv: " << spectrum.Pixels() << " pixels\n";
}

struct TDemoOptions {
    std::string Data = ZELT_SOURCE_DIR "/data";
    std::string Out; // empty: Data
    std::string Escape = kEscapeMewe;
    double Noise = kNoise;
};

void MakeDemo(const TDemoOptions& options) {
    const std::string& dataFolder = options.Data;
    const std::string outFolder = options.Out.empty() ? dataFolder : options.Out;
    TAtomicData data([](const std::string& text) { std::cerr << text << "\n"; });
    data.ChangeSpecies(dataFolder + "/Ar_levels.txt", dataFolder + "/", "Ar,I");
    data.Escape = EscapeModelOf(options.Escape);
    const std::string measurements = outFolder + "/measurements";
    std::filesystem::create_directories(PathFromUtf8(measurements));
    SelectDemoLines(data, measurements + "/selection.tmp");
    const std::map<double, std::string> wavelengths = WavelengthTexts(dataFolder + "/Ar_I.txt");

    TUniformRandom random(kSeed);
    for (const TDemoSpectrum& spectrum : kSpectra) {
        const TParamVector p = DemoParams(spectrum.Density, kTemperature);
        const std::vector<double> intensities =
            NoisyIntensities(DemoIntensities(data, p), options.Noise, random);
        TTextWriter writer;
        const std::string fileName = measurements + "/" + spectrum.FileName;
        writer.Create(fileName);
        for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i)
            writer.WriteLine(wavelengths.at(data.SelectedLines[i].Data.Wavelength) + " " +
                             Format("%.3f", {intensities[static_cast<std::size_t>(i)]}));
        writer.Close();
        std::cout << fileName << ": " << data.SelectedLines.size() << " lines\n";
        if (spectrum.Density == 5e16)
            MakeSpectrum(data, p, outFolder);
    }
}

// The value of each "--name value" pair of the arguments after the first.
std::map<std::string, std::string> Options(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        if (!name.starts_with("--"))
            throw Exception("Expected an option \"--name value\", not \"" + name + "\"");
        options[name.substr(2)] = argv[i + 1];
    }
    return options;
}

// The measurement of any species at the given model values (see the head of this file).
void MakeMeasurement(const std::map<std::string, std::string>& options) {
    const auto text = [&](const std::string& name) {
        const auto found = options.find(name);
        if (found == options.end())
            throw Exception("Missing option --" + name);
        return found->second;
    };
    const auto number = [&](const std::string& name, double fallback) {
        if (!options.contains(name))
            return fallback;
        double value = 0;
        if (!TryStrToFloat(text(name), value))
            throw Exception("--" + name + ": \"" + text(name) + "\" is not a number");
        return value;
    };
    const std::string database = text("database");
    const std::string lines = text("lines");
    TAtomicData data([](const std::string& message) { std::cerr << message << "\n"; });
    data.ChangeSpecies(text("levels"), JoinPath(database, ""), lines);
    data.Escape = EscapeModelOf(options.contains("escape") ? text("escape") : kEscapeMewe);
    const auto populated = static_cast<std::int32_t>(number("boltzmax", 0));
    const std::string out = text("out");
    SelectDemoLines(data, out + ".selection.tmp", populated);
    std::string table = lines;
    std::replace(table.begin(), table.end(), ',', '_');
    const std::map<double, std::string> wavelengths =
        WavelengthTexts(JoinPath(database, table + ".txt"));
    TParamVector p;
    Slot(p, LogDensity) = std::log10(static_cast<long double>(number("density", 0)));
    Slot(p, Temperature) = number("temperature", 0);
    Slot(p, GasTemperature) = number("gas-temperature", kDemoGasTemperature);
    Slot(p, PathLength) = number("path", kDemoPathLength);
    Slot(p, AtomMass) = number("mass", 0) * kAtomicMassUnit;
    Slot(p, BoltzmannLevels) = populated;
    TUniformRandom random(static_cast<std::uint64_t>(number("seed", kSeed)));
    const double noise = number("noise", 0);
    const std::vector<double> exact = DemoIntensities(data, p);
    const std::vector<double> intensities = NoisyIntensities(exact, noise, random);
    std::string content;
    for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i)
        content += wavelengths.at(data.SelectedLines[i].Data.Wavelength) + " " +
                   Format("%.6f", {intensities[static_cast<std::size_t>(i)]}) + "\r\n";
    SaveFile(out, content);
    if (options.contains("uncertainties") && text("uncertainties") == "yes") {
        std::string uncertainties = "wavelength_nm\tintensity\tu_intensity\r\n";
        for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
            const auto k = static_cast<std::size_t>(i);
            uncertainties += wavelengths.at(data.SelectedLines[i].Data.Wavelength) + "\t" +
                             Format("%.6f", {intensities[k]}) + "\t" +
                             ShortestReal(noise * exact[k]) + "\r\n";
        }
        SaveFile(LineTableFor(out), uncertainties);
    }
    std::cout << out << ": " << data.SelectedLines.size() << " lines\n";
}

} // namespace
} // namespace zelt

int main(int argc, char** argv) {
    // "measurement" reads its "--name value" pairs itself; the demo's options are CLI11's.
    const bool measurement = argc > 1 && std::string(argv[1]) == "measurement";
    zelt::TDemoOptions options;
    CLI::App app("Writes the demo measurement files of argon I", "zeltfit-makedemo");
    app.add_option("DATA", options.Data, "folder of Ar_levels.txt and Ar_I.txt")
        ->capture_default_str();
    app.add_option("--out", options.Out, "folder written (default: DATA)");
    app.add_option("--escape", options.Escape, "escape factor: mewe, doppler or a table FILE")
        ->capture_default_str();
    app.add_option("--noise", options.Noise, "relative standard deviation of an intensity")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    if (!measurement) {
        CLI11_PARSE(app, argc, argv);
    }
    try {
        if (measurement)
            zelt::MakeMeasurement(zelt::Options(argc, argv));
        else
            zelt::MakeDemo(options);
        return 0;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
