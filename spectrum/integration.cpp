// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/integration.h"

namespace zelt {

const char* OutcomeText(TLineOutcome outcome) {
    switch (outcome) {
    case TLineOutcome::Integrated:
        return "integrated";
    case TLineOutcome::Shared:
        return "shared";
    case TLineOutcome::BlendSummed:
        return "blend summed";
    case TLineOutcome::Blend:
        return "blend";
    case TLineOutcome::Saturated:
        return "saturated";
    case TLineOutcome::OutOfRange:
        return "out of range";
    case TLineOutcome::NoBackground:
        return "no background";
    case TLineOutcome::BelowDetection:
        return "below detection limit";
    case TLineOutcome::NoLevels:
        return "levels not in the level file";
    case TLineOutcome::Excluded:
        return "excluded";
    case TLineOutcome::Contaminated:
        return "background contaminated";
    case TLineOutcome::PeakOutside:
        return "peak outside its window";
    }
    return "";
}

std::vector<TMeasuredLine> TIntegration::Measurement() const {
    std::vector<TMeasuredLine> measured;
    for (const TLineIntegral& line : Lines)
        if (GivesIntensity(line.Outcome))
            measured.push_back({line.Line.Data.Wavelength, line.Intensity, line.Uncertainty});
    return measured;
}

std::string IntegrationTable(const TIntegration& integration) {
    std::string table = "wavelength_nm\tcentre_nm\twindow_from_nm\twindow_to_nm\t"
                        "background_below_from_nm\tbackground_below_to_nm\t"
                        "background_above_from_nm\tbackground_above_to_nm\tbackground_counts\t"
                        "background_slope_per_nm\tintegral_counts\tu_counts\tintensity\t"
                        "u_intensity\toutcome\tnote\tcalibration\tscale_offset_nm\t"
                        "centre_fitted\tcalibration_line\tgauss_fwhm_nm\tlorentz_fwhm_nm\t"
                        "chi2_per_dof\tsaturated_pixels\tnear\r\n";
    for (const TLineIntegral& line : integration.Lines) {
        for (const double value :
             {line.Line.Data.Wavelength, line.Centre, line.WindowLow, line.WindowHigh,
              line.BandBelow[0], line.BandBelow[1], line.BandAbove[0], line.BandAbove[1],
              line.Background, line.BackgroundSlope, line.Counts, line.CountsUncertainty,
              line.Intensity, line.Uncertainty})
            table += ShortestReal(value) + "\t";
        table += std::string(OutcomeText(line.Outcome)) + "\t" + line.Note + "\t" +
                 integration.Calibration + "\t" + ShortestReal(line.ScaleOffset) + "\t" +
                 (line.CentreFitted ? "1" : "0") + "\t" + (line.CalibrationLine ? "1" : "0") +
                 "\t" + ShortestReal(integration.GaussWidth) + "\t" +
                 ShortestReal(integration.LorentzWidth) + "\t" + ShortestReal(line.Chi2PerDof) +
                 "\t" + std::to_string(line.SaturatedPixels) + "\t" + Joined(line.Intruders) +
                 "\r\n";
    }
    return table;
}

} // namespace zelt
