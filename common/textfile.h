#pragma once
// Sequential single-byte text files. The reader follows the rules of the database and
// measurement files: numbers are blank-delimited tokens that may cross line ends, "." is the
// decimal point, a number read at the end of the file is 0; fixed-width text fields stop at
// the line end. The writer ends every line with CR LF.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

namespace zelt {

// A file name held as UTF-8 text, as a path of the file system.
std::filesystem::path PathFromUtf8(const std::string& fileName);
// The path as such a UTF-8 text. (A path's string() and its constructor from std::string use
// the system's narrow encoding, which on Windows is not UTF-8.)
std::string Utf8FromPath(const std::filesystem::path& path);

// The text without its leading and trailing characters of code 32 or less (blanks, tabs,
// line ends), as the table readers trim their fields.
std::string_view TrimBlanks(std::string_view text);

// "folder/name": one "/" is added only where the folder does not already end with a path
// delimiter (so an empty folder gives "/name", as the drive root would).
std::string JoinPath(const std::string& folder, const std::string& name);

class TextReader {
public:
    // Opens the file read-only at its start. A missing file, a folder or a file that cannot
    // be read raises EInOutError naming the file.
    void Open(const std::string& fileName);
    void Close();
    bool IsOpen() const { return stream_.is_open(); }
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
    // Reads up to and including the next LF, or to the end of the file.
    void SkipLine();

private:
    int Peek();
    int PeekAt(std::size_t offset);
    int Get();
    bool Fill();
    std::string ReadToken(int maxLength);
    [[noreturn]] void RaiseInvalid(const std::string& token);

    std::string fileName_;
    std::ifstream stream_;
    std::unique_ptr<char[]> buffer_;
    std::size_t position_ = 0;
    std::size_t filled_ = 0;
    bool atEnd_ = false; // the file gave nothing more
    int line_ = 1;
};

class TextWriter {
public:
    TextWriter() = default;
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    ~TextWriter();

    // Creates the file, or empties an existing one. Failure raises EInOutError naming the file.
    void Create(const std::string& fileName);
    // Writes the bytes as they are; a failed write raises EInOutError.
    void Write(std::string_view text);
    // Writes the text followed by CR LF.
    void WriteLine(std::string_view text = {});
    // Flushes and closes; a failure raises EInOutError. Nothing happens when not open.
    void Close();
    bool IsOpen() const { return stream_.is_open(); }
    const std::string& FileName() const { return fileName_; }

private:
    void Check(const char* operation);

    std::string fileName_;
    std::ofstream stream_;
};

} // namespace zelt
