// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folder for the program's temporary files (the minimisation log).

#include <string>

namespace zelt {

// A folder that only the user can write to, so that nobody else can put a link or a file of
// theirs where the program writes: the system's temporary folder (TMPDIR, TMP, TEMP or TEMPDIR,
// else /tmp; a variable that names no folder is passed over) when it is such a folder, else the
// folder "zeltfit-<user number>" in it, made with mode 0700 when missing. On Windows the
// system's temporary folder, which belongs to the user. A folder of that name that is a link
// or belongs to someone else, or that cannot be made, raises EInOutError.
std::string UserTemporaryFolder();

} // namespace zelt
