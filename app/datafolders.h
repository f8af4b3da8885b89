// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's data folders: the user's own folder, which holds the zeltfit.ini that is read
// and written, and the common folders that hold the installed templates. The first run on an
// account copies the necessary files from a common folder into the user's folder.
// The system's folders come from the XDG variables (systemfolders_posix.cpp) or from the
// Windows shell (systemfolders_win32.cpp); the rest is plain C++.

#include <string>
#include <vector>

namespace zelt {

// The folder's name below each data location.
inline constexpr const char* kDataFolderName = "Zelt fit 1.0";

// The per-user data folder (generic data location + "/Zelt fit 1.0"); empty when the system
// gives none. The folder is not created.
std::string UserDataFolder();

// The candidate common data folders in the order they are searched: the "share/Zelt fit 1.0"
// folder beside the executable's folder (a build tree or an unpacked install), then the
// system-wide generic data locations.
std::vector<std::string> CommonDataFolders();

// The user's configuration file.
std::string UserConfigFile();

// The files the program cannot start without.
std::vector<std::string> NecessaryFiles();

// True when every necessary file is in `userFolder`, or has been copied there from the first
// of `commonFolders` that holds them all (a file already in the user's folder is never
// overwritten; a failed copy is not reported). False when no folder holds them: the program
// shows the missing-files message and ends.
bool CheckNecessaryFiles(const std::string& userFolder,
                         const std::vector<std::string>& commonFolders);
// The same for the folders of this system.
bool CheckNecessaryFiles();

// The message of a failed check. The "\n" is two characters of the text, not a line break.
inline constexpr const char* kMissingFilesMessage =
    "Necessary program files are missing. \\nProgram will be terminated.";

} // namespace zelt
