// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/importrun.h"

#include "app/spectrumimport.h"
#include "common/errors.h"
#include "common/parallel.h"

#include <optional>

namespace zelt {

void ImportSpectra(
    TZeltApp& app, const std::vector<std::string>& files, const std::string& folder,
    const TImportSettings& settings, std::int32_t threads,
    const std::function<void(const std::string& file, const TImportOutcome&)>& done) {
    std::optional<TSpectrumImport> import;
    std::string setupError;
    try {
        import.emplace(app.AtomicData(), app.Config(), app.Species(), settings);
    } catch (const std::exception& error) {
        setupError = ErrorReportText(MessageText(error.what()));
    }
    // What a thread made of a file, kept in its slot until the file is written.
    struct TSlot {
        TIntegration Result;
        std::string Error;
    };
    std::vector<TSlot> slots(2 * static_cast<std::size_t>(ThreadCount(threads)));
    RunInOrder(
        threads, static_cast<std::int32_t>(files.size()),
        [&](std::int32_t slot, std::int32_t item) {
            TSlot& s = slots[static_cast<std::size_t>(slot)];
            s = TSlot();
            if (!import) {
                s.Error = setupError;
                return;
            }
            try {
                FpReset();
                s.Result =
                    import->Integrate(ReadSpectrum(files[static_cast<std::size_t>(item)], {}));
            } catch (const std::bad_alloc&) {
                s.Error = ErrorReportText("Not enough memory for this command");
            } catch (const std::exception& error) {
                s.Error = ErrorReportText(MessageText(error.what()));
            }
        },
        [&](std::int32_t slot, std::int32_t item) {
            const TSlot& s = slots[static_cast<std::size_t>(slot)];
            const std::string& file = files[static_cast<std::size_t>(item)];
            TImportOutcome outcome;
            if (!s.Error.empty()) {
                outcome.Done = false;
                outcome.Error = s.Error;
            } else {
                outcome =
                    app.WriteImport(file, MeasurementFileFor(folder, file), s.Result.Measurement(),
                                    IntegrationTable(s.Result), s.Result.Notes);
            }
            done(file, outcome);
            return true;
        });
}

} // namespace zelt
