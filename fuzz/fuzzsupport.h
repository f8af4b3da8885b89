// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: the input as a file in memory that the readers open by name, a
// folder of the process in memory for readers that take a folder, and the checks of what must
// hold after a read. A failed check aborts, which libFuzzer reports as a crash with its input.

#include "common/errors.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace zelt::fuzz {

// A file that lives in memory only (memfd_create). The readers open it by its /proc/self/fd
// path like any file, so an input needs no write to disk and no change to the readers.
class TMemoryFile {
public:
    explicit TMemoryFile(const char* name);
    TMemoryFile(const TMemoryFile&) = delete;
    TMemoryFile& operator=(const TMemoryFile&) = delete;
    ~TMemoryFile();

    // Replaces the whole content by the bytes.
    void Fill(const std::uint8_t* data, std::size_t size);
    void Fill(std::string_view bytes);
    const std::string& Path() const { return path_; }

private:
    int descriptor_;
    std::string path_;
};

// A fresh folder of this process in /dev/shm (a tmpfs, so in memory), or in the temporary folder
// where there is no /dev/shm; removed with its content when the process exits normally.
class TScratchFolder {
public:
    explicit TScratchFolder(const std::string& name);
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;
    ~TScratchFolder();

    // The folder with a trailing "/", as the program passes its database folder.
    const std::string& Folder() const { return folder_; }
    std::string File(const std::string& name) const { return folder_ + name; }

private:
    std::string folder_;
};

// Reports what failed on standard error and aborts.
[[noreturn]] void Fail(const std::string& what);
inline void Require(bool holds, const std::string& what) {
    if (!holds)
        Fail(what);
}
// No NaN and no infinity may reach a record.
void RequireFinite(double value, const char* field);
// A text field never longer than its bound and, where the reader trims it, without leading or
// trailing characters of code 32 or less.
void RequireField(const std::string& text, std::size_t bound, bool trimmed, const char* field);

// Runs one read. An error of the program's own hierarchy that carries a message is a legitimate
// end of a read: the result is then false. Any other exception, or an error without a message,
// fails.
template <class Read> bool EndsCalmly(Read&& read) {
    try {
        read();
        return true;
    } catch (const Exception& error) {
        Require(!error.message().empty(), "an error without a message");
        return false;
    } catch (const std::exception& error) {
        Fail(std::string("an exception outside the program's errors: ") + error.what());
    }
}

} // namespace zelt::fuzz
