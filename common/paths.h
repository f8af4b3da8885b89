// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File names as texts: UTF-8 names as paths of the file system and back, and the folder and name
// parts of a path. Nothing here touches the file system.

#include <cstddef>
#include <filesystem>
#include <string>

namespace zelt {

// A file name held as UTF-8 text, as a path of the file system.
std::filesystem::path PathFromUtf8(const std::string& fileName);
// The path as such a UTF-8 text. (A path's string() and its constructor from std::string use
// the system's narrow encoding, which on Windows is not UTF-8.)
std::string Utf8FromPath(const std::filesystem::path& path);

// "folder/name": one "/" is added only where the folder does not already end with a path
// delimiter (so an empty folder gives "/name", as the drive root would).
std::string JoinPath(const std::string& folder, const std::string& name);

// Where the name proper begins in a path: after its last path delimiter, or at 0.
std::size_t NameStart(const std::string& fileName);
// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string FolderOfFile(const std::string& fileName);

} // namespace zelt
