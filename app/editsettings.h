// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings of a window's edit boxes as the window read them at its start, so that its close
// writes back only what it changed: two windows open on one configuration keep each other's
// changes, and the rest of the file keeps its bytes.

#include "app/configstore.h"
#include "app/settings.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TEditSettings {
public:
    TEditSettings() = default;
    // The edit settings (Settings() without the species keys) as `config` holds them.
    explicit TEditSettings(const TConfigView& config);

    // The text the setting's edit box starts with (ConfiguredText).
    const std::string& StartText(const TSetting& setting) const;

    // Stores into `ini`, the file as it is under the lock now, the settings whose values the
    // window changed since its start, each from its edit's text `editText(setting)` as StoreText
    // does: those whose box the user edited, and, while their key still holds what was read,
    // those the window gave a value of its own: a missing key, or one whose box's form changed
    // the value (2.54e16 shows as 2.5E+016 and is stored as 2.5E16). A key that another program
    // changed since stays as it is unless the user edited its box too; a key whose value the
    // window kept keeps its bytes ("1e18" stays). The first edit text that is no number ends the
    // keys stored; false then.
    bool StoreChanges(TIniText& ini,
                      const std::function<std::string(const TSetting&)>& editText) const;

private:
    struct TRead {
        const TSetting* Setting;
        std::optional<std::string> Value; // the key's text in the file, none when missing
        std::string Shown;                // the edit's start text
        bool Reformed; // missing, or the shown text stores another value than was read
    };
    const TRead& Find(const TSetting& setting) const;

    std::vector<TRead> read_;
};

} // namespace zelt
