// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Checks of the command line's option values and words that say what is wrong in a few words.
// CLI11 puts the option's name before a check's text: "--threads: 0 is not a whole number of at
// least 1".

#include "app/settings.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>

namespace zelt {

CLI::Validator WholeNumberFrom(std::int32_t least);
CLI::Validator NumberAbove(double bound);
CLI::Validator NumberFromBelow(double least, double below);
// The setting's option takes what its edit box in the window takes.
CLI::Validator SettingCheck(const TSetting& setting);
// An import setting's option takes what its spin box takes: a number from Least to Most.
CLI::Validator SettingCheck(const TImportSetting& setting);

// "mewe", "doppler" or a table that can be used; else why not (EscapeRefusal).
CLI::Validator EscapeCheck();

// Raises CLI::ValidationError with ConfiguredRefusal for the first setting of the command's
// options (UsedByMap or UsedByFit in `use`) that the command line does not give and whose value
// in the configuration its option would refuse.
void CheckConfiguredSettings(const CLI::App& command, unsigned use, const TConfigView& config,
                             const std::string& fileName);

// The first line of a usage error: a word where a subcommand was wanted is named
// ("Unknown subcommand "frobnicate"", "Unknown option "--frobnicate""), other errors keep CLI11's
// text.
std::string UsageErrorText(const CLI::App& app, const CLI::ParseError& error);

} // namespace zelt
