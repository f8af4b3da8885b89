// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How much memory the program can still take, for the guards of its large allocations.

#include <cstdint>
#include <string>

namespace zelt {

// The bytes of memory that can be allocated now without swapping: the system's available
// memory (Linux MemAvailable, which counts the caches it can drop; elsewhere the free physical
// pages; Windows GlobalMemoryStatusEx), less than that where the process's control group
// (a container, a JupyterHub session) has a limit with less room under it. 0 when the system
// does not say.
std::uint64_t AvailableMemory();

// A number of bytes for a message: "640 MB", "19.1 GB" (binary units, as the file limits).
std::string MemoryText(long double bytes);

} // namespace zelt
