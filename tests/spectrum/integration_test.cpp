#include "argon.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zelt {
namespace {

using test::ArgonSpectrum;

TEST(Explore, Print) {
    ArgonSpectrum argon;
    TSyntheticOptions options;
    const TRawSpectrum spectrum = SyntheticSpectrum(argon.lines, options);
    const TIntegration result = IntegrateLines(spectrum, argon.species, {});
    for (const std::string& note : result.Notes)
        std::cout << note << "\n";
    for (const TLineIntegral& line : result.Lines) {
        const double truth = argon.TrueIntensity(line.Line.Data.Wavelength);
        std::cout << line.Line.Data.Wavelength << " " << OutcomeText(line.Outcome) << " "
                  << line.Intensity << " +- " << line.Uncertainty << " true " << truth
                  << " pull " << (line.Intensity - truth) / line.Uncertainty << " " << line.Note
                  << "\n";
    }
}

} // namespace
} // namespace zelt
