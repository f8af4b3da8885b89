// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Physical constants of the line model, one set for the whole program. They are extended
// reals so that the model's arithmetic keeps 80 bits until a result is stored.

namespace zelt {

inline constexpr long double kElementaryCharge = 1.60217733e-19L;  // C; also J per eV
inline constexpr long double kBoltzmann = 1.380658e-23L;           // J/K
inline constexpr long double kTwoBoltzmann = 2.761316e-23L;        // 2k, J/K
inline constexpr long double kPlanck = 6.6260755e-34L;             // J s
inline constexpr long double kSpeedOfLight = 299792458.0L;         // m/s
inline constexpr long double kEightPiHC = 4.9924870002727175e-24L; // 8 pi h c, J m
inline constexpr long double kAtomicMassUnit = 1.6605402e-27L;     // kg
inline constexpr long double kNanometre = 1e-9L;                   // m
inline constexpr long double kPi = 3.141592653589793238462643383279502884L;

} // namespace zelt
