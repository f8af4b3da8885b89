// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A program run by the shell as a user runs it: its exit status, standard output and standard
// error.

#include "tests/common/tempfolder.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace zelt::test {

struct TRun {
    int status = -1;
    std::string out, err;
};

// Runs the shell command `command`, its standard error going to stderr.txt in `folder`.
inline TRun RunCommand(const std::string& command, const TempFolder& folder) {
    TRun run;
    FILE* pipe = popen((command + " 2>'" + folder.File("stderr.txt") + "'").c_str(), "r");
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.out.append(buffer, n);
    run.status = WEXITSTATUS(pclose(pipe));
    run.err = folder.Read("stderr.txt");
    return run;
}

} // namespace zelt::test
