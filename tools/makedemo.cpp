// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the demo measurement files of argon I: the model's branching fractions at three
// densities of the metastable 1s5, turned into line intensities with 1 % noise
// (tools/demodata.h); or one such file at a truth, noise and seed of one's own.
//
//   zeltfit-makedemo [data folder]     (default: the project's data folder)
//   zeltfit-makedemo [data folder] --out FILE [--density X] [--temperature T] [--noise R]
//                    [--seed N] [--uncertainties]
//
// The second form writes FILE (defaults: 5e16 m-3, 1500 K, 0.01, seed 4) and, with
// --uncertainties, the table beside it (FILE.lines.tsv) with each intensity's standard
// uncertainty, R times the intensity without noise. The files data/measurements/argon_1e16.txt,
// argon_5e16.txt and argon_2e17.txt list the wavelength, exactly as written in Ar_I.txt, and the
// intensity of every line of the table whose lower level is one of the four 1s levels.
// data/spectra/argon_5e16.csv is the raw spectrum of the second, as a spectrometer's program
// exports it.

#include "common/errors.h"
#include "common/format.h"
#include "common/safefile.h"
#include "common/textfile.h"
#include "spectrum/measurement.h"
#include "spectrum/specieslines.h"
#include "spectrum/synthetic.h"
#include "tools/demodata.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace zelt {
namespace {

// The demo spectra's excitation temperature and noise, and the seed of their noise.
constexpr double kTemperature = 1500; // K
constexpr double kNoise = 0.01;       // relative standard deviation of an intensity
constexpr std::uint64_t kSeed = 4;
constexpr const char* kUsage =
    "zeltfit-makedemo [DATA] [--out FILE [--density X] [--temperature T] [--noise R] [--seed N] "
    "[--uncertainties]]";

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

// The argon species of `dataFolder` with the demo lines selected.
void LoadDemo(TAtomicData& data, const std::string& dataFolder, const std::string& scratchFile) {
    data.ChangeSpecies(dataFolder + "/Ar_levels.txt", dataFolder + "/", "Ar,I");
    SelectDemoLines(data, scratchFile);
}

// Writes a measurement file of the selected lines: the wavelength as the line table writes it
// and the intensity with three decimals.
void WriteMeasurement(const TAtomicData& data, const std::map<double, std::string>& wavelengths,
                      const std::vector<double>& intensities, const std::string& fileName) {
    TTextWriter writer;
    writer.Create(fileName);
    for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i)
        writer.WriteLine(wavelengths.at(data.SelectedLines[i].Data.Wavelength) + " " +
                         Format("%.3f", {intensities[static_cast<std::size_t>(i)]}));
    writer.Close();
}

// The raw spectrum at n(1s5) = 5e16 m-3: 3648 pixels from 660 to 1160 nm, lines of 0.4 nm
// (FWHM) of up to 2e5 photons, a dark of 1000 counts and a sloped background with read-out and
// Poisson noise, as a "Wave;Sample;Dark;Reference" export with decimal commas.
void MakeSpectrum(TAtomicData& data, const TParamVector& p, const std::string& dataFolder) {
    TSyntheticOptions options;
    options.Dark = 1000;
    options.Seed = kSeed;
    const TRawSpectrum spectrum = SyntheticSpectrum(ModelLines(data, p, 2e5), options);
    const std::string folder = dataFolder + "/spectra";
    std::filesystem::create_directories(PathFromUtf8(folder));
    TTextWriter writer;
    writer.Create(folder + "/argon_5e16.csv");
    writer.Write(SemicolonExport(spectrum, options.Dark));
    writer.Close();
    std::cout << folder << "/argon_5e16.csv: " << spectrum.Pixels() << " pixels\n";
}

void MakeDemo(const std::string& dataFolder) {
    TAtomicData data([](const std::string& text) { std::cerr << text << "\n"; });
    const std::string measurements = dataFolder + "/measurements";
    std::filesystem::create_directories(PathFromUtf8(measurements));
    LoadDemo(data, dataFolder, measurements + "/selection.tmp");
    const std::map<double, std::string> wavelengths = WavelengthTexts(dataFolder + "/Ar_I.txt");

    TUniformRandom random(kSeed);
    for (const TDemoSpectrum& spectrum : kSpectra) {
        const TParamVector p = DemoParams(spectrum.Density, kTemperature);
        const std::string fileName = measurements + "/" + spectrum.FileName;
        WriteMeasurement(data, wavelengths,
                         NoisyIntensities(DemoIntensities(data, p), kNoise, random), fileName);
        std::cout << fileName << ": " << data.SelectedLines.size() << " lines\n";
        if (spectrum.Density == 5e16)
            MakeSpectrum(data, p, dataFolder);
    }
}

// One synthetic measurement at the given truth, with its noise and seed; with `uncertainties`
// the table beside it (NAME.lines.tsv) gives each intensity's standard uncertainty, the noise
// times the intensity without noise.
struct TSyntheticFile {
    std::string Out;
    double Density = 5e16, Temperature = kTemperature, Noise = kNoise;
    std::uint64_t Seed = kSeed;
    bool Uncertainties = false;
};

void MakeSynthetic(const std::string& dataFolder, const TSyntheticFile& file) {
    TAtomicData data([](const std::string& text) { std::cerr << text << "\n"; });
    LoadDemo(data, dataFolder, file.Out + ".selection.tmp");
    const std::vector<double> exact =
        DemoIntensities(data, DemoParams(file.Density, file.Temperature));
    TUniformRandom random(file.Seed);
    const std::vector<double> noisy = NoisyIntensities(exact, file.Noise, random);
    const std::map<double, std::string> wavelengths = WavelengthTexts(dataFolder + "/Ar_I.txt");
    WriteMeasurement(data, wavelengths, noisy, file.Out);
    if (!file.Uncertainties)
        return;
    std::string table = "wavelength_nm\tintensity\tu_intensity\r\n";
    for (std::int32_t i = 0; i < data.SelectedLines.size(); ++i) {
        const auto k = static_cast<std::size_t>(i);
        table += wavelengths.at(data.SelectedLines[i].Data.Wavelength) + "\t" +
                 Format("%.3f", {noisy[k]}) + "\t" + ShortestReal(file.Noise * exact[k]) + "\r\n";
    }
    SaveFile(LineTableFor(file.Out), table);
}

int Run(int argc, char** argv) {
    std::string dataFolder = ZELT_SOURCE_DIR "/data";
    TSyntheticFile synthetic;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw Exception(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--out")
            synthetic.Out = value();
        else if (arg == "--density")
            synthetic.Density = std::stod(value());
        else if (arg == "--temperature")
            synthetic.Temperature = std::stod(value());
        else if (arg == "--noise")
            synthetic.Noise = std::stod(value());
        else if (arg == "--seed")
            synthetic.Seed = std::stoull(value());
        else if (arg == "--uncertainties")
            synthetic.Uncertainties = true;
        else if (arg.starts_with("--"))
            throw Exception("Unknown option " + arg + "\n" + kUsage);
        else
            dataFolder = arg;
    }
    if (synthetic.Out.empty())
        MakeDemo(dataFolder);
    else
        MakeSynthetic(dataFolder, synthetic);
    return 0;
}

} // namespace
} // namespace zelt

int main(int argc, char** argv) {
    try {
        return zelt::Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
}
