// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/editsettings.h"

#include "common/errors.h"
#include "common/format.h"

namespace zelt {

namespace {

// The value the program reads from the key (its default where missing or no number), in the
// form it is stored in.
std::string ReadValueText(const TSetting& setting, const TConfigView& config) {
    const std::string section(setting.Section), key(setting.Key);
    if (setting.Kind == TSettingKind::Integer)
        return std::to_string(
            config.ReadInteger(section, key, static_cast<std::int32_t>(setting.Default)));
    return FloatToStr(config.ReadFloat(section, key, setting.Default));
}

} // namespace

TEditSettings::TEditSettings(const TConfigView& config) {
    for (const TSetting& setting : Settings()) {
        if (setting.InSpeciesSection())
            continue;
        TRead read{&setting, config.Value(std::string(setting.Section), std::string(setting.Key)),
                   ConfiguredText(setting, config), false};
        read.Reformed =
            !read.Value || StoredText(setting, read.Shown) != ReadValueText(setting, config);
        read_.push_back(std::move(read));
    }
}

const TEditSettings::TRead& TEditSettings::Find(const TSetting& setting) const {
    for (const TRead& read : read_)
        if (read.Setting == &setting)
            return read;
    throw ERangeError("No edit setting " + std::string(setting.Key));
}

const std::string& TEditSettings::StartText(const TSetting& setting) const {
    return Find(setting).Shown;
}

bool TEditSettings::StoreChanges(
    TIniText& ini, const std::function<std::string(const TSetting&)>& editText) const {
    for (const TRead& read : read_) {
        const std::string text = editText(*read.Setting);
        const bool edited = text != read.Shown;
        const bool untouched = ini.Value(std::string(read.Setting->Section),
                                         std::string(read.Setting->Key)) == read.Value;
        if (!edited && !(untouched && read.Reformed))
            continue;
        if (!StoreText(ini, *read.Setting, text))
            return false;
    }
    return true;
}

} // namespace zelt
