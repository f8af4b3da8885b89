// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/serieslog.h"

#include "common/errors.h"
#include "common/safefile.h"
#include "leastsquares/marq3w.h"

namespace zelt {

TSeriesLog::TScope::TScope(const TSeriesLog& log, std::string& text) {
    text.clear();
    if (log.InMemory())
        MarqLogToText(&text);
}

TSeriesLog::TScope::~TScope() {
    MarqLogToText(nullptr);
}

void TSeriesLog::Keep(std::string& text) {
    if (text.empty())
        return;
    last_ = std::move(text);
    text.clear();
    kept_ = true;
}

std::optional<std::string> TSeriesLog::Write() {
    if (!kept_)
        return std::nullopt;
    kept_ = false;
    try {
        // As the minimiser writes it: a link at its name is replaced; scratch, not flushed.
        SaveFile(file_, last_, {TLinkPolicy::Replace, false});
    } catch (const EInOutError& error) {
        return ErrorReportText(error.what());
    }
    return std::nullopt;
}

} // namespace zelt
