// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The minimisation log of a series of fits. Each fit of a series would replace the log of the
// one before it; a series keeps its fits' logs in memory instead (MarqLogToText) and writes the
// last one once, when its last file is done. A file per fit cost more than some fits (ext4
// writes a file out to the disk when it is renamed over another), and a threaded series waited
// on those renames in the files' order.

#include <optional>
#include <string>

namespace zelt {

class TSeriesLog {
public:
    // `file`: the log file, or empty when every fit writes its log itself (a log that cannot
    // be created or is a device, so that each fit says so).
    explicit TSeriesLog(std::string file) : file_(std::move(file)) {}
    bool InMemory() const { return !file_.empty(); }
    const std::string& File() const { return file_; }

    // While it lives, the logs of the fits on the calling thread go to `text` (emptied first),
    // when the series keeps them in memory.
    class TScope {
    public:
        TScope(const TSeriesLog& log, std::string& text);
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;
    };

    // The log of a file's step: the last one kept when the step wrote one (`text` is emptied).
    void Keep(std::string& text);
    // Writes the last log kept into the file, once; the warning of the file's outcome when it
    // cannot be written.
    std::optional<std::string> Write();

private:
    std::string file_;
    std::string last_;
    bool kept_ = false;
};

} // namespace zelt
