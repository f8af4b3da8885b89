// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/checks.h"

#include "common/convert.h"
#include "common/format.h"

#include <cmath>
#include <functional>
#include <limits>

namespace zelt {

namespace {

// `text` passes when it is a number (a whole number of the integer options' range for `whole`)
// that `holds`; else the text says it "is not" `what`. `bound` names the rule in the help.
CLI::Validator NumberCheck(bool whole, std::function<bool(double)> holds, const std::string& what,
                           const std::string& bound) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            double value = 0;
            std::int32_t integer = 0;
            const bool number = whole ? TryStrToInt(text, integer) : TryStrToFloat(text, value);
            if (number && holds(whole ? integer : value))
                return {};
            // A number that the option's type cannot hold: the limit it broke.
            constexpr std::int32_t kLargest = std::numeric_limits<std::int32_t>::max();
            if (whole && TryStrToFloat(text, value) && std::trunc(value) == value &&
                value > kLargest)
                return Format("%s is beyond %d, the largest whole number taken", {text, kLargest});
            if (!whole && BeyondRealRange(text))
                return text + " is beyond the range of a real number";
            return text + " is not " + what;
        },
        bound);
}

} // namespace

CLI::Validator WholeNumberFrom(std::int32_t least) {
    return NumberCheck(
        true, [least](double value) { return value >= least; },
        Format("a whole number of at least %d", {least}), Format("AT LEAST %d", {least}));
}

CLI::Validator NumberAbove(double bound) {
    return NumberCheck(
        false, [bound](double value) { return value > bound; },
        "a number above " + FloatToStr(bound), "ABOVE " + FloatToStr(bound));
}

CLI::Validator NumberFromBelow(double least, double below) {
    return NumberCheck(
        false, [least, below](double value) { return value >= least && value < below; },
        "a number from " + FloatToStr(least) + " to below " + FloatToStr(below),
        FloatToStr(least) + " TO BELOW " + FloatToStr(below));
}

CLI::Validator SettingCheck(const TSetting& setting) {
    // The rule of HoldsPositiveNumber, in the options' words.
    return setting.Kind == TSettingKind::Integer ? WholeNumberFrom(1) : NumberAbove(0);
}

CLI::Validator SettingCheck(const TImportSetting& setting) {
    const std::string range = FloatToStr(setting.Least) + " to " + FloatToStr(setting.Most);
    return NumberCheck(
        false, [&setting](double value) { return setting.Takes(value); }, "a number from " + range,
        FloatToStr(setting.Least) + " TO " + FloatToStr(setting.Most));
}

CLI::Validator EscapeCheck() {
    return CLI::Validator([](std::string& text) { return EscapeRefusal(text); }, "");
}

void CheckConfiguredSettings(const CLI::App& command, unsigned use, const TConfigView& config,
                             const std::string& fileName) {
    for (const TSetting& setting : Settings()) {
        if ((setting.Use & use) == 0 ||
            command.get_option(std::string(setting.Option))->count() > 0)
            continue;
        if (const std::string refusal =
                ConfiguredRefusal(setting, config, fileName, setting.Option);
            !refusal.empty())
            throw CLI::ValidationError(refusal);
    }
}

std::string UsageErrorText(const CLI::App& app, const CLI::ParseError& error) {
    // A subcommand that is missing while a word is left over: the word was meant as one, or is
    // an option no command knows. (A missing positional argument leaves no word over, as a word
    // would have filled it.)
    const std::vector<std::string> extra = app.remaining(true);
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr && !extra.empty())
        return (extra.front().starts_with('-') ? "Unknown option \"" : "Unknown subcommand \"") +
               extra.front() + "\"";
    return error.what();
}

} // namespace zelt
