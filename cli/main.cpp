// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/frontend.h"
#include "cli/terminal.h"
#include "common/tempfiles.h"

#include <iostream>

#ifdef _WIN32
#include <windows.h>
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    // The output is UTF-8 on every system; a Windows console shows it so in code page 65001.
    // The arguments are UTF-8 already: the manifest (zeltfit-cli.manifest) asks for it.
    SetConsoleOutputCP(CP_UTF8);
#endif
    zelt::RemoveTemporaryFilesOnInterrupt();
    const zelt::TTerminalEncoding out(std::cout), err(std::cerr);
    return zelt::RunCommandLine(argc, argv, std::cout, std::cerr);
}
