// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/tempfiles.h"

#include "common/paths.h"
#include "common/sysfile.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace zelt {

namespace {

// Bytes of the target's name kept in the temporary file's name, so that the temporary name
// stays within the 255 bytes a file name may have.
constexpr std::size_t kNameBytes = 200;
constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr std::size_t kRandomLength = 8;
// A temporary file unchanged this long is no longer being written, or its writer is gone.
constexpr auto kStaleAge = std::chrono::minutes(1);

// The live temporary files, for the signal handler: a slot is Free, Taken while its name is
// copied in, and Live while the handler may remove the file it names. Plain bytes in a static
// array, since a handler may neither allocate nor take a lock.
enum TSlotState : int { Free, Taken, Live };
constexpr std::size_t kSlots = 64;
constexpr std::size_t kSlotName = 4096;
struct TSlot {
    std::atomic<int> State{Free};
    char Name[kSlotName];
};
std::array<TSlot, kSlots> slots;

#ifndef _WIN32
extern "C" void RemoveLiveAndReraise(int signal) {
    const int saved = errno;
    for (TSlot& slot : slots)
        if (slot.State.load() == Live)
            ::unlink(slot.Name);
    errno = saved;
    // The handler was reset to the default on entry (SA_RESETHAND): the signal, pending until
    // the handler returns, then ends the program as it would have without it.
    ::raise(signal);
}
#endif

// The stale temporary files found in a folder the first time a file is saved in it, by their
// names: looking through a large folder at every save of a batch would cost more than the saves.
std::mutex candidatesGuard;
std::map<std::string, std::vector<std::string>> candidates;

bool HasTemporaryForm(std::string_view name) {
    if (name.size() < kRandomLength + 3 || name.front() != '.')
        return false;
    const std::size_t dot = name.size() - kRandomLength - 1;
    return name[dot] == '.' && name.find_first_not_of(kDigits, dot + 1) == std::string_view::npos;
}

std::vector<std::string> FindCandidates(const std::string& folder) {
    std::vector<std::string> names, found;
    if (!ListFolder(folder, names))
        return found;
    for (const std::string& name : names)
        if (HasTemporaryForm(name))
            found.push_back(name);
    return found;
}

// Whether the file is a temporary file that nobody writes any longer; its status is looked at
// without following a link.
bool IsStale(const std::string& fileName) {
    TFileStatus status;
    if (!FileStatus(fileName, false, status) || status.Kind != TFileKind::Regular ||
        status.User != CurrentUser())
        return false;
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return now.count() - status.Modified >=
           std::chrono::duration_cast<std::chrono::nanoseconds>(kStaleAge).count();
}

} // namespace

std::string TemporaryName(const std::string& target) {
    // Drawn afresh from the system for each name: a generator's state would be copied into
    // every child process, which would then all try the same names.
    std::random_device device;
    std::uint64_t bits = (static_cast<std::uint64_t>(device()) << 32) | device();
    std::string suffix(kRandomLength, '0');
    for (char& c : suffix) {
        c = kDigits[bits % (sizeof kDigits - 1)];
        bits /= sizeof kDigits - 1;
    }
    const std::size_t start = NameStart(target);
    return target.substr(0, start) + "." + target.substr(start, kNameBytes) + "." + suffix;
}

bool IsTemporaryNameOf(std::string_view name, std::string_view targetName) {
    const std::string_view kept = targetName.substr(0, kNameBytes);
    return HasTemporaryForm(name) && name.size() == kept.size() + kRandomLength + 2 &&
           name.substr(1, kept.size()) == kept;
}

TLiveTemporary::TLiveTemporary(const std::string& fileName) {
    if (fileName.size() >= kSlotName)
        return;
    for (std::size_t i = 0; i < kSlots; ++i) {
        int expected = Free;
        if (slots[i].State.compare_exchange_strong(expected, Taken)) {
            std::memcpy(slots[i].Name, fileName.c_str(), fileName.size() + 1);
            slots[i].State.store(Live);
            slot_ = static_cast<int>(i);
            return;
        }
    }
}

TLiveTemporary& TLiveTemporary::operator=(TLiveTemporary&& other) noexcept {
    if (this != &other) {
        Release();
        slot_ = other.slot_;
        other.slot_ = -1;
    }
    return *this;
}

void TLiveTemporary::Release() noexcept {
    if (slot_ >= 0)
        slots[static_cast<std::size_t>(slot_)].State.store(Free);
    slot_ = -1;
}

void RemoveTemporaryFilesOnInterrupt() {
#ifndef _WIN32
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // A signal the program was started to ignore (nohup, a background job) stays ignored.
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = RemoveLiveAndReraise;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        ::sigaction(signal, &action, nullptr);
    }
#endif
}

void RemoveStaleTemporaryFiles(const std::string& target) {
    const std::string folder = FolderOfFile(target);
    const std::string_view targetName = std::string_view(target).substr(NameStart(target));
    std::vector<std::string> mine;
    {
        const std::lock_guard<std::mutex> lock(candidatesGuard);
        auto found = candidates.find(folder);
        if (found == candidates.end())
            found = candidates.emplace(folder, FindCandidates(folder)).first;
        std::vector<std::string>& names = found->second;
        for (auto name = names.begin(); name != names.end();) {
            if (IsTemporaryNameOf(*name, targetName)) {
                mine.push_back(*name);
                name = names.erase(name);
            } else {
                ++name;
            }
        }
    }
    for (const std::string& name : mine) {
        const std::string fileName = target.substr(0, NameStart(target)) + name;
        if (!IsStale(fileName))
            continue;
        // A writer holds the lock of its file to the end: a file whose lock is free has none.
        TFileHandle file;
        if (file.OpenForReading(fileName) && file.TryLock()) {
            // Closed first: Windows removes no file that is open.
            file.Close();
            RemoveFile(fileName);
        }
    }
}

} // namespace zelt
