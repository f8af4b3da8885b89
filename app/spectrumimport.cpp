// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/spectrumimport.h"

#include "app/commands.h"
#include "app/listing.h"
#include "common/fpcheck.h"
#include "common/parallel.h"
#include "common/textfile.h"
#include "linemodel/atomicdata.h"

#include <algorithm>

namespace zelt {

std::vector<TOtherLine> OtherSpeciesLines(const TConfigStore& config, const std::string& species,
                                          const std::vector<TSpeciesLine>& own) {
    std::vector<TOtherLine> others;
    const std::string name = SpeciesName(own);
    for (const std::string& section : SpeciesSections(config)) {
        if (section == species)
            continue;
        TAtomicData other(nullptr);
        try {
            LoadSpecies(other, config, section);
        } catch (const std::exception&) {
            continue;
        }
        const std::vector<TSpeciesLine> lines = MeasurableLines(other);
        if (lines.empty() || SpeciesName(lines) == name)
            continue;
        for (const TSpeciesLine& line : lines) {
            const double w = line.Data.Wavelength;
            if (std::none_of(own.begin(), own.end(),
                             [w](const TSpeciesLine& l) { return l.Data.Wavelength == w; }))
                others.push_back({w, SpeciesName(lines) + " " + ShortestReal(w)});
        }
    }
    return others;
}

std::string MeasurementFileFor(const std::string& folder, const std::string& file) {
    std::string name = FileNameOf(file);
    if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0)
        name.resize(dot);
    return JoinPath(folder, name + ".txt");
}

TSpectrumImport::TSpectrumImport(const TAtomicData& model, const TConfigStore& config,
                                 const std::string& species, const TImportSettings& settings)
    : lines_(MeasurableLines(model)) {
    if (!settings.Response.empty())
        response_.emplace(settings.Response, TResponseUnit::PerPhoton);
    options_.Window = settings.Window;
    options_.SumBlends = settings.SumBlends;
    options_.SaturationLevel = settings.Saturation;
    options_.Tolerance = settings.PeakTolerance;
    options_.Exclusions = settings.Exclusions;
    options_.OtherLines = OtherSpeciesLines(config, species, lines_);
    options_.Response = response_ ? &*response_ : nullptr;
}

void TSpectrumImport::IntegrateFiles(
    const std::vector<std::string>& files, std::int32_t threads,
    const std::function<void(const std::string& file, const TIntegration&,
                             const std::exception_ptr& error)>& integrated) const {
    // What a thread made of a file, kept in its slot until the file is handed on.
    struct TSlot {
        TIntegration Result;
        std::exception_ptr Error;
    };
    std::vector<TSlot> slots(
        static_cast<std::size_t>(OrderSlots(threads, static_cast<std::int32_t>(files.size()))));
    RunInOrder(
        threads, static_cast<std::int32_t>(files.size()),
        [&](std::int32_t slot, std::int32_t item) {
            TSlot& s = slots[static_cast<std::size_t>(slot)];
            s = TSlot();
            try {
                FpReset();
                s.Result = Integrate(ReadSpectrum(files[static_cast<std::size_t>(item)], {}));
            } catch (...) {
                s.Error = std::current_exception();
            }
        },
        [&](std::int32_t slot, std::int32_t item) {
            const TSlot& s = slots[static_cast<std::size_t>(slot)];
            integrated(files[static_cast<std::size_t>(item)], s.Result, s.Error);
            return true;
        });
}

} // namespace zelt
