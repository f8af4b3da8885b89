// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz/fuzzsupport.h"

#include "common/textfile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/mman.h>
#include <unistd.h>

namespace zelt::fuzz {

namespace fs = std::filesystem;

TMemoryFile::TMemoryFile(const char* name) : descriptor_(::memfd_create(name, MFD_CLOEXEC)) {
    if (descriptor_ < 0)
        Fail(std::string("memfd_create: ") + std::strerror(errno));
    path_ = "/proc/self/fd/" + std::to_string(descriptor_);
}

TMemoryFile::~TMemoryFile() {
    ::close(descriptor_);
}

void TMemoryFile::Fill(const std::uint8_t* data, std::size_t size) {
    Require(::ftruncate(descriptor_, 0) == 0, "ftruncate of the memory file");
    for (std::size_t written = 0; written < size;) {
        const ssize_t n =
            ::pwrite(descriptor_, data + written, size - written, static_cast<off_t>(written));
        Require(n > 0, "write to the memory file");
        written += static_cast<std::size_t>(n);
    }
}

void TMemoryFile::Fill(std::string_view bytes) {
    Fill(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

TScratchFolder::TScratchFolder(const std::string& name) {
    std::error_code error;
    const fs::path base =
        fs::is_directory("/dev/shm", error) ? fs::path("/dev/shm") : fs::temp_directory_path();
    const fs::path folder = base / ("zelt-fuzz-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(folder, error);
    fs::create_directories(folder);
    folder_ = folder.string() + "/";
}

TScratchFolder::~TScratchFolder() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "\nFuzz check failed: %s\n", what.c_str());
    std::abort();
}

void RequireFinite(double value, const char* field) {
    if (!std::isfinite(value))
        Fail(std::string(field) + " is " + std::to_string(value));
}

void RequireField(const std::string& text, std::size_t bound, bool trimmed, const char* field) {
    if (text.size() > bound)
        Fail(std::string(field) + " holds " + std::to_string(text.size()) + " characters");
    if (trimmed && TrimBlanks(text) != text)
        Fail(std::string(field) + " is not trimmed: \"" + text + "\"");
}

} // namespace zelt::fuzz
