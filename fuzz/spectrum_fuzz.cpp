// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: arbitrary bytes as a raw spectrum, read as a delimited table and integrated
// against the lines of the demo argon species (loaded once at start-up), as the import does. The
// read and the integration end with a result or an error with a message; the spectrum rises
// steadily; every line with an intensity has finite, non-negative numbers and a window inside
// the spectrum; and the measurement file made of them reads back as the same lines.

#include "fuzz/demospecies.h"
#include "spectrum/integration.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using namespace zelt;
using namespace zelt::fuzz;

void CheckSpectrum(const TRawSpectrum& s) {
    Require(s.Pixels() >= kMinPixels && s.Counts.size() == s.Pixels() && s.Raw.size() == s.Pixels(),
            "a spectrum of too few or uneven pixels");
    for (std::size_t i = 0; i < s.Pixels(); ++i) {
        RequireFinite(s.Wavelengths[i], "Wavelength");
        Require(s.Wavelengths[i] > 0 && (i == 0 || s.Wavelengths[i] > s.Wavelengths[i - 1]),
                "wavelengths that do not rise");
    }
}

void CheckIntegration(const TRawSpectrum& s, const TIntegration& result, TAtomicData& model,
                      TMemoryFile& measurement) {
    for (const TLineIntegral& line : result.Lines) {
        if (!GivesIntensity(line.Outcome))
            continue;
        RequireFinite(line.Intensity, "Intensity");
        RequireFinite(line.Uncertainty, "Uncertainty");
        Require(line.Intensity > 0 && line.Uncertainty >= 0, "a negative intensity given");
        Require(line.WindowLow >= s.Wavelengths.front() && line.WindowHigh <= s.Wavelengths.back(),
                "a window beyond the spectrum");
    }
    const std::vector<TMeasuredLine> measured = result.Measurement();
    measurement.Fill(MeasurementText(measured));
    model.ImportLines(measurement.Path());
    Require(model.SelectedLines.size() == static_cast<std::int32_t>(measured.size()),
            "the measurement file does not read back whole");
    for (std::size_t i = 0; i < measured.size(); ++i) {
        const TLine& line = model.SelectedLines[static_cast<std::int32_t>(i)];
        Require(line.Data.Wavelength == measured[i].Wavelength &&
                    line.Intensity == measured[i].Intensity,
                "the measurement file reads back other numbers");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static TDemoLines species;
    static TMemoryFile measurement("measurement");
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    TRawSpectrum spectrum;
    if (!EndsCalmly([&] { spectrum = SpectrumFromTable(ParseDelimited(bytes, "fuzz"), {}); }))
        return 0;
    CheckSpectrum(spectrum);
    TIntegration result;
    if (!EndsCalmly([&] { result = IntegrateLines(spectrum, species.Lines, {}); }))
        return 0;
    Require(result.Lines.size() == species.Lines.size(), "lines lost in the integration");
    CheckIntegration(spectrum, result, species.Model, measurement);
    return 0;
}
