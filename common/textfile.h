// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sequential single-byte text files. The reader follows the rules of the database and
// measurement files: numbers are blank-delimited tokens that may cross line ends, "." is the
// decimal point, a number read at the end of the file is 0; fixed-width text fields stop at
// the line end. The writer ends every line with CR LF and puts the file in place whole
// (TSafeFile).

#include "common/paths.h"
#include "common/safefile.h"
#include "common/sysfile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace zelt {

// The text without its leading and trailing characters of code 32 or less (blanks, tabs,
// line ends), as the table readers trim their fields.
std::string_view TrimBlanks(std::string_view text);

// The most a reader takes in from one file, and what the file is called in the message past
// that bound. Readers hold what they read, so the bound keeps a hostile file from taking all
// the memory.
struct TReadLimit {
    std::uint64_t Bytes;
    const char* What; // "a measurement file"
};
inline constexpr std::uint64_t kMegabyte = 1 << 20;
inline constexpr TReadLimit kTextFileLimit{256 * kMegabyte, "a text file"};

// The whole content of a regular file, refused as TTextReader::Open refuses files.
std::string ReadFileBytes(const std::string& fileName, const TReadLimit& limit = kTextFileLimit);

// Raises the EInOutError of a token that is not a number, naming the file and the line (from 1),
// as TTextReader does for a file and its callers for numbers given in memory.
[[noreturn]] void RaiseInvalidNumber(const std::string& token, const std::string& fileName,
                                     std::int64_t line);

class TTextReader {
public:
    // Opens the file read-only at its start. Only a regular file is read: a missing file, a
    // folder, a device or a pipe (which could block or never end), a file larger than the limit
    // or one that cannot be read raises EInOutError naming the file. A file that grows past the
    // limit while it is read raises when the reading gets there.
    void Open(const std::string& fileName, const TReadLimit& limit = kTextFileLimit);
    // Reads `text` as the content of a file: a caller with the data in memory writes no file
    // to read it back. `name` stands for the file in the messages; a text larger than the limit
    // raises as a file would.
    void OpenText(const std::string& name, std::string text,
                  const TReadLimit& limit = kTextFileLimit);
    void Close();
    bool IsOpen() const { return file_.IsOpen() || inMemory_; }
    // Raises EInOutError "Cannot read file "name": it changed while it was read …" when the
    // open file's size or modification time are no longer those it had at Open: a table cut
    // short by a writer at the same time would otherwise pass for a shorter table. (A file
    // replaced whole under its name is read whole; a text given to OpenText never changes.)
    // Readers call it when they have read what they take.
    void RequireUnchanged();
    const std::string& FileName() const { return fileName_; }
    // Line of the next character to be read, counted from 1.
    int LineNumber() const { return line_; }

    // True when no character is left.
    bool Eof();
    // Skips characters of code 32 or less (blanks, tabs, line ends) and tells whether the end
    // of the file follows.
    bool SeekEof();
    // Skips the characters of code 32 or less on the current line and tells whether the line
    // (LF, or CR LF) or the file ends there; the line end stays unread.
    bool SeekEoln();

    // The next number: characters of code 32 or less are skipped across lines; then at most 64
    // (ReadReal) or 32 (ReadInt) characters of code above 32 form the token, and the character
    // after it stays unread. At the end of the file the number is 0. A token that is not a
    // number, or a number outside the type's range, raises EInOutError with the file and line.
    double ReadReal();
    std::int32_t ReadInt();
    // The same, but a token that is no number (or out of range) gives false instead of an
    // error, for readers that put a substitute in its place: hostile files cost no exception
    // per bad token.
    bool TryReadReal(double& value);
    bool TryReadInt(std::int32_t& value);

    // The next at most `width` characters of the current line; the line end (LF, or CR LF) is
    // not consumed and a lone CR is dropped. At the end of the file the field is empty.
    std::string ReadField(int width);
    // The next character, line ends included; 26 (the end-of-file mark) at the end.
    char ReadChar();
    // Reads up to and including the next LF, or to the end of the file; returns the first `keep`
    // characters it passed over before the LF, for a reader that says what it skipped.
    std::string SkipLine(std::size_t keep = 0);

private:
    int Peek();
    int PeekAt(std::size_t offset);
    const char* Data() const { return inMemory_ ? text_.data() : buffer_.get(); }
    int Get();
    bool Fill();
    std::string ReadToken(int maxLength);

    std::string fileName_;
    TFileHandle file_;
    TReadLimit limit_ = kTextFileLimit;
    TFileStatus opened_;      // the file's status at Open
    std::uint64_t taken_ = 0; // bytes read from the file so far
    std::unique_ptr<char[]> buffer_;
    std::string text_; // the content of a reader opened on a text (OpenText)
    bool inMemory_ = false;
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    bool atEnd_ = false; // the file gave nothing more
    int line_ = 1;
};

// A text file written whole: the file named takes the new content only at Close, and a writer
// dropped before (an error on the way) leaves the old file as it was.
class TTextWriter {
public:
    // Starts the file (TSafeFile::Open); failure raises EInOutError naming the file.
    void Create(const std::string& fileName, TSaveOptions options = {});
    // Writes the bytes as they are; a failed write raises EInOutError.
    void Write(std::string_view text) { file_.Write(text); }
    // Writes the text followed by CR LF.
    void WriteLine(std::string_view text = {});
    // Puts the file in place (TSafeFile::Commit); a failure raises EInOutError and leaves the
    // old file. Nothing happens when not open.
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }
    const std::string& FileName() const { return file_.FileName(); }

private:
    TSafeFile file_;
};

} // namespace zelt
