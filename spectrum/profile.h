// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The instrument's line profile: a Voigt profile of unit area, the convolution of a Gaussian of
// full width at half maximum GaussFwhm (the instrument, Doppler) and a Lorentzian of
// LorentzFwhm (pressure, Stark and natural broadening), both in nm. A pixel holds the share of
// the profile between its edges, so every evaluation goes through the profile's distribution
// function, tabulated once per shape.

#include <complex>
#include <vector>

namespace zelt {

// The Faddeeva function w(z) = exp(-z^2) erfc(-iz) for Im z >= 0, by Weideman's rational
// approximation with 32 terms (J. A. C. Weideman, SIAM J. Numer. Anal. 31 (1994) 1497-1518),
// absolute error below 1e-12.
std::complex<double> Faddeeva(std::complex<double> z);

// The Voigt profile at x (nm from its centre), per nm: Re w(z) / (sigma sqrt(2 pi)) with
// z = (x + i gamma) / (sigma sqrt 2), sigma = GaussFwhm / (2 sqrt(2 ln 2)) and
// gamma = LorentzFwhm / 2.
double VoigtProfile(double x, double gaussFwhm, double lorentzFwhm);

// The Voigt profile's full width at half maximum (Olivero and Longbothum, J. Quant. Spectrosc.
// Radiat. Transfer 17 (1977) 233, within 0.02 %): 0.5346 fL + sqrt(0.2166 fL^2 + fG^2).
double VoigtFwhm(double gaussFwhm, double lorentzFwhm);

class TLineShape {
public:
    TLineShape() : TLineShape(1, 0) {}
    TLineShape(double gaussFwhm, double lorentzFwhm);

    double GaussFwhm() const { return gauss_; }
    double LorentzFwhm() const { return lorentz_; }
    double Fwhm() const { return VoigtFwhm(gauss_, lorentz_); }
    // The profile at x (nm from the centre), per nm.
    double At(double x) const;
    // The share of the profile below x.
    double Below(double x) const;
    // The share between a and b (a < b, nm from the centre).
    double Between(double a, double b) const { return Below(b) - Below(a); }

private:
    // The share above x > 0 beyond the table: the Lorentzian's, widened by the Gaussian,
    // (1/pi) (atan(gamma / x) + gamma sigma^2 / x^3).
    double Tail(double x) const;

    double gauss_, lorentz_;
    double step_ = 0, reach_ = 0;
    std::vector<double> value_, below_; // at x = 0, step, ... reach
};

} // namespace zelt
