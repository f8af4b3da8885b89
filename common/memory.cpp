// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/memory.h"

#include "common/format.h"

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zelt {

namespace {

constexpr long double kMebibyte = 1024.0L * 1024.0L;

#ifndef _WIN32

// The first number of a small system file (a control group's limit or usage); false when it is
// missing or holds none ("max": no limit).
bool ReadNumber(const std::string& fileName, std::uint64_t& value) {
    std::ifstream file(fileName);
    return static_cast<bool>(file >> value);
}

// The room under the memory limit of the process's control group, or the largest number when it
// has none. Version 2 names one hierarchy ("0::/path"), version 1 one per controller
// ("4:memory:/path"); inside a container the path may not be mounted, and the root of the
// hierarchy holds the container's own limit then.
std::uint64_t ControlGroupRoom() {
    std::uint64_t room = std::numeric_limits<std::uint64_t>::max();
    std::ifstream groups("/proc/self/cgroup");
    for (std::string line; std::getline(groups, line);) {
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        std::string mount, limitFile, usageFile;
        if (controllers.empty()) {
            mount = "/sys/fs/cgroup";
            limitFile = "/memory.max";
            usageFile = "/memory.current";
        } else if (controllers == "memory") {
            mount = "/sys/fs/cgroup/memory";
            limitFile = "/memory.limit_in_bytes";
            usageFile = "/memory.usage_in_bytes";
        } else {
            continue;
        }
        for (const std::string& folder : {mount + path, mount}) {
            std::uint64_t limit = 0, usage = 0;
            if (ReadNumber(folder + limitFile, limit) && ReadNumber(folder + usageFile, usage)) {
                room = std::min(room, limit > usage ? limit - usage : 0);
                break;
            }
        }
    }
    return room;
}

// The system's available memory in bytes; 0 when it does not say.
std::uint64_t SystemAvailable() {
    std::ifstream meminfo("/proc/meminfo");
    for (std::string line; std::getline(meminfo, line);) {
        std::istringstream fields(line);
        std::string name;
        std::uint64_t kilobytes = 0;
        if (fields >> name >> kilobytes && name == "MemAvailable:")
            return kilobytes * 1024;
    }
#ifdef _SC_AVPHYS_PAGES
    const long pages = ::sysconf(_SC_AVPHYS_PAGES), size = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && size > 0)
        return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(size);
#endif
    return 0;
}

#endif

} // namespace

std::uint64_t AvailableMemory() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    return GlobalMemoryStatusEx(&status) ? status.ullAvailPhys : 0;
#else
    const std::uint64_t available = SystemAvailable();
    return available == 0 ? 0 : std::min(available, ControlGroupRoom());
#endif
}

std::string MemoryText(long double bytes) {
    const long double mebibytes = bytes / kMebibyte;
    if (mebibytes < 10 * 1024)
        return Format("%.0f MB", {mebibytes});
    return Format("%.1f GB", {mebibytes / 1024});
}

} // namespace zelt
