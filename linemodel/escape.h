// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The escape factor Lambda(tau) of a line of optical depth tau at its centre: the share of the
// optically thin line intensity that leaves the source. A run of the model uses one of three:
//
// - mewe: (2 - exp(-tau / 1000)) / (1 + tau), Mewe's approximation (Br. J. Appl. Phys. 18 (1967)
//   107), the one of the branching-fraction method of Schulze et al. (J. Phys. D 41 (2008)
//   065206) and the program's default;
// - doppler: the exact factor of a homogeneous source of Doppler-broadened emitters and absorbers
//   seen along the line of sight (Irons, JQSRT 22 (1979) 1),
//       Lambda(tau) = 1 / (tau sqrt(pi)) * integral over all x of (1 - exp(-tau exp(-x^2))) dx,
//   x the distance from the line centre in Doppler 1/e half widths;
// - a table of the user's: tau and Lambda, interpolated linearly in log tau and log Lambda.
//
// Every model gives exactly 1 at tau = 0. docs/MODEL.md compares them.

#include "common/fpcheck.h"

#include <memory>
#include <string>
#include <vector>

namespace zelt {

// Mewe's factor, inline and in two steps (the exponential, then the factor from it), because the
// map and the model take the exponentials of all lines first: the library's exponential resets
// the x87 control word, which makes any x87 arithmetic still in flight wait, so the arithmetic
// around it is better done apart. Against the exact factor of a homogeneous source it is low for
// tau from 1e-3 to 1e4 by up to 57 % (tau ~ 110): a fit puts each line at 0.35 to 0.44 times the
// depth that the exact factor would give (docs/MODEL.md).
inline long double EscapeExponential(double tau) {
    return FpExp(-0.001L * tau);
}
inline double EscapeFactor(double tau, long double exponential) {
    return static_cast<double>((2 - exponential) / (1 + static_cast<long double>(tau)));
}
inline double EscapeFactor(double tau) {
    return EscapeFactor(tau, EscapeExponential(tau));
}

// The exact factor of a homogeneous Doppler source (above) to a relative error below 1e-11 for
// every tau >= 0 (tests/linemodel/escape_test.cpp measures it against Boost.Math's quadrature):
// its power series below tau = 1/2, a table of polynomials for tau up to 2^30 and the
// asymptotic expansion in 1 / ln(tau) beyond. A negative tau raises the invalid-operation flag
// and gives NaN; an infinite tau gives 0.
double DopplerEscapeFactor(double tau);

// A user's table of the escape factor: rows of tau and Lambda, tau above 0 and rising from row to
// row, Lambda above 0 and never rising.
class TEscapeTable {
public:
    // Reads the file: per line tau and Lambda (blank-separated, "." as decimal point; further
    // columns are skipped), blank lines and lines beginning with "#" left out. Raises
    // EInOutError for a file that cannot be read, Exception naming the file and the line for a
    // line that is not two such numbers, for a tau that does not rise, a Lambda that rises, and
    // for fewer than two rows.
    explicit TEscapeTable(const std::string& fileName);

    const std::string& FileName() const { return fileName_; }
    // Lambda(tau), interpolated linearly in log tau and log Lambda, the table's own Lambda at its
    // rows and 1 at tau = 0. A tau outside the table raises the invalid-operation flag and gives
    // NaN (CheckDepth says why).
    double Factor(double tau) const;
    // Raises Exception naming the file and its range for a tau (not NaN) that lies outside it.
    void CheckDepth(double tau) const;

private:
    std::string fileName_;
    std::vector<long double> logDepths_, logFactors_;
    std::vector<double> depths_, factors_;
};

enum class TEscapeKind { Mewe, Doppler, Table };

// The escape factor a run of the model uses: a small value that the settings and the model copy
// freely (a table is shared, never changed).
class TEscapeModel {
public:
    TEscapeModel() = default; // mewe
    static TEscapeModel Doppler();
    // The table of a file, read now (TEscapeTable).
    static TEscapeModel Table(const std::string& fileName);

    TEscapeKind Kind() const { return kind_; }
    // "mewe", "doppler" or the table's file name.
    std::string Name() const;
    // Lambda(tau) of the model; mewe's factor to the same bits as EscapeFactor(tau).
    double Factor(double tau) const {
        switch (kind_) {
        case TEscapeKind::Doppler:
            return DopplerEscapeFactor(tau);
        case TEscapeKind::Table:
            return table_->Factor(tau);
        case TEscapeKind::Mewe:
            break;
        }
        return EscapeFactor(tau);
    }
    // Raises the reason why Factor gave no number for a tau that is one: a tau outside a table.
    void CheckDepth(double tau) const {
        if (kind_ == TEscapeKind::Table)
            table_->CheckDepth(tau);
    }
    // Whether Lambda(tau) A is a positive double for every finite tau >= 0 and A >= 1 s-1
    // (Lambda(tau) >= 1 / (1 + tau)), so that a line alone on its upper level has the fraction 1
    // at any depth: true of mewe and doppler, not of a table, which refuses depths outside it.
    bool PositiveAtEveryDepth() const { return kind_ != TEscapeKind::Table; }

    bool operator==(const TEscapeModel& other) const {
        return kind_ == other.kind_ && table_ == other.table_;
    }

private:
    TEscapeKind kind_ = TEscapeKind::Mewe;
    std::shared_ptr<const TEscapeTable> table_;
};

// The names of the built-in models, as zeltfit.ini, zeltfit-cli and the Python module take them.
inline constexpr const char* kEscapeMewe = "mewe";
inline constexpr const char* kEscapeDoppler = "doppler";

// The model a choice names: "mewe" or "doppler" (in any case), else the table of that file, read
// now (a file of one of those names is named with its folder, "./doppler").
TEscapeModel EscapeModelOf(const std::string& choice);
// Whether a choice names the default model, mewe.
bool IsDefaultEscape(const std::string& choice);
// The name of the model a choice names (TEscapeModel::Name), without reading a table.
std::string EscapeName(const std::string& choice);

} // namespace zelt
