// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The import of many raw spectra on every core: each spectrum is read and integrated on any
// thread, and its files are written in the files' order on the calling thread, so that a run on
// many threads writes and reports byte for byte what one thread does.

#include "app/application.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zelt {

// Imports every file into `folder` as TZeltApp::ImportSpectrum does, shared among
// ThreadCount(threads) threads; `done` sees each file's outcome in the files' order, after its
// files are written.
void ImportSpectra(TZeltApp& app, const std::vector<std::string>& files, const std::string& folder,
                   const TImportSettings& settings, std::int32_t threads,
                   const std::function<void(const std::string& file, const TImportOutcome&)>& done);

} // namespace zelt
