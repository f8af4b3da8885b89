// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/textfile.h"

#include "common/errors.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <system_error>

namespace zelt {

namespace {

constexpr std::size_t kBufferSize = 1 << 16;
constexpr int kEndOfFile = -1;
constexpr char kEofMark = 26;
// The runtime's error codes: file not found, access denied, disk read error, a number that
// cannot be read.
constexpr int kFileNotFound = 2;
constexpr int kAccessDenied = 5;
constexpr int kReadError = 100;
constexpr int kInvalidNumericInput = 106;

bool IsBlank(int c) {
    return c >= 0 && c <= 32;
}

// Checks the syntax of a real: [+-] digits [. digits] [(e|E) [+-] digits], with at least one
// digit in the mantissa. Returns the decimal exponent of the first significant digit through
// `magnitude` (used to tell an overflowing from an underflowing number).
bool IsRealSyntax(std::string_view t, int& magnitude) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    int intDigits = 0, leadingZeros = 0, fracDigits = 0;
    bool significant = false;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i, ++intDigits) {
        if (t[i] != '0')
            significant = true;
        else if (!significant)
            ++leadingZeros;
    }
    int fracLeadingZeros = 0;
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) {
            ++fracDigits;
            if (!significant && t[i] == '0')
                ++fracLeadingZeros;
            else
                significant = true;
        }
    }
    if (intDigits + fracDigits == 0)
        return false;
    long exponent = 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        int sign = 1;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            sign = t[i++] == '-' ? -1 : 1;
        const std::size_t first = i;
        for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i)
            exponent = std::min(exponent * 10 + (t[i] - '0'), 100000L);
        if (i == first)
            return false;
        exponent *= sign;
    }
    const int position =
        intDigits - leadingZeros > 0 ? intDigits - leadingZeros - 1 : -(fracLeadingZeros + 1);
    magnitude = static_cast<int>(exponent) + position;
    return i == t.size();
}

// The number of a token; an empty token (the end of the file) is 0. False for a token that is no
// real or lies beyond the range of a double; a real too small for a double is 0.
bool ParseReal(const std::string& token, double& value) {
    value = 0;
    if (token.empty())
        return true;
    int magnitude = 0;
    if (!IsRealSyntax(token, magnitude))
        return false;
    // from_chars takes no leading "+".
    const std::size_t skip = token[0] == '+' ? 1 : 0;
    const auto result = std::from_chars(token.data() + skip, token.data() + token.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        value = token[0] == '-' ? -0.0 : 0.0;
        return magnitude <= 0; // an underflow reads as 0, an overflow is no number
    }
    return result.ec == std::errc() && result.ptr == token.data() + token.size();
}

// The same for a 32-bit integer: [+-] decimal digits.
bool ParseInt(const std::string& token, std::int32_t& value) {
    value = 0;
    if (token.empty())
        return true;
    const std::size_t skip = token[0] == '+' ? 1 : 0;
    if (skip == 1 && token.size() > 1 && token[1] == '-')
        return false;
    const auto result = std::from_chars(token.data() + skip, token.data() + token.size(), value);
    return result.ec == std::errc() && result.ptr == token.data() + token.size();
}

[[noreturn]] void RaiseTooLarge(const std::string& fileName, const TReadLimit& limit) {
    throw EInOutError("Cannot read file \"" + fileName + "\": it is larger than " +
                          std::to_string(limit.Bytes / kMegabyte) + " MB, the limit for " +
                          limit.What,
                      kReadError);
}

// The open regular file, or the reader's error: a pipe or a device could block the reader or
// never end, and a folder holds no text.
TFileHandle OpenRegularFile(const std::string& fileName, const TReadLimit& limit) {
    TFileHandle file;
    TFileStatus status;
    const std::string quoted = "Cannot open file \"" + fileName + "\": ";
    if (!file.OpenForReading(fileName)) {
        const int error = errno;
        if (error == ENOENT)
            throw EInOutError(quoted + "file not found", kFileNotFound);
        // Windows opens no folder at all.
        if (FileStatus(fileName, true, status) && status.Kind == TFileKind::Folder)
            throw EInOutError(quoted + "it is a folder", kAccessDenied);
        throw EInOutError(quoted + ErrorText(error), kAccessDenied);
    }
    if (!file.Status(status))
        throw EInOutError(quoted + ErrorText(errno), kAccessDenied);
    if (status.Kind == TFileKind::Folder)
        throw EInOutError(quoted + "it is a folder", kAccessDenied);
    if (status.Kind != TFileKind::Regular)
        throw EInOutError(quoted + "it is not a regular file", kAccessDenied);
    if (status.Size > limit.Bytes)
        RaiseTooLarge(fileName, limit);
    return file;
}

// The error of an open file whose status `now` is no longer `before`, the one it had when its
// reading began. (A file that a save replaced by a new one under its name was read whole: the
// open file is the old one, unchanged.)
void RequireSameFile(const std::string& fileName, const TFileStatus& before,
                     const TFileStatus& now) {
    if (now.Size == before.Size && now.Modified == before.Modified)
        return;
    throw EInOutError("Cannot read file \"" + fileName +
                          "\": it changed while it was read (another program writes it): read "
                          "it again when that is done",
                      kReadError);
}

} // namespace

std::string ReadFileBytes(const std::string& fileName, const TReadLimit& limit) {
    const TFileHandle file = OpenRegularFile(fileName, limit);
    TFileStatus before, after;
    file.Status(before);
    std::string content;
    std::string chunk(kBufferSize, '\0');
    for (;;) {
        const long long got = file.Read(chunk.data(), chunk.size());
        if (got < 0)
            throw EInOutError("Cannot read file \"" + fileName + "\": " + ErrorText(errno),
                              kReadError);
        if (got == 0) {
            file.Status(after);
            RequireSameFile(fileName, before, after);
            return content;
        }
        if (content.size() + static_cast<std::uint64_t>(got) > limit.Bytes)
            RaiseTooLarge(fileName, limit);
        content.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

void TTextReader::Open(const std::string& fileName, const TReadLimit& limit) {
    Close();
    fileName_ = fileName;
    file_ = OpenRegularFile(fileName, limit);
    file_.Status(opened_);
    limit_ = limit;
    taken_ = 0;
    // Left uninitialised: only the bytes read from the file are ever looked at.
    if (!buffer_)
        buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
    position_ = filled_ = 0;
    atEnd_ = false;
    line_ = 1;
}

void TTextReader::OpenText(const std::string& name, std::string text, const TReadLimit& limit) {
    Close();
    if (text.size() > limit.Bytes)
        RaiseTooLarge(name, limit);
    fileName_ = name;
    limit_ = limit;
    text_ = std::move(text);
    inMemory_ = true;
    taken_ = filled_ = text_.size();
    position_ = 0;
    atEnd_ = true;
    line_ = 1;
}

void TTextReader::Close() {
    file_.Close();
    if (inMemory_) {
        text_.clear();
        inMemory_ = false;
        position_ = filled_ = 0;
    }
}

void TTextReader::RequireUnchanged() {
    TFileStatus now;
    if (file_.IsOpen() && file_.Status(now))
        RequireSameFile(fileName_, opened_, now);
}

// Keeps the unread bytes at the front of the buffer and appends what the file holds next.
bool TTextReader::Fill() {
    if (!file_.IsOpen() || atEnd_)
        return false;
    const std::size_t kept = filled_ - position_;
    std::memmove(buffer_.get(), buffer_.get() + position_, kept);
    position_ = 0;
    const long long got = file_.Read(buffer_.get() + kept, kBufferSize - kept);
    // A file that gave nothing more is not asked again: every field read past the end (a whole
    // record after the last line) would cost a system call. A failed file reads as ended to
    // the readers that take errors for the end of their table.
    atEnd_ = got <= 0;
    if (got < 0)
        throw EInOutError("Cannot read file \"" + fileName_ + "\": " + ErrorText(errno),
                          kReadError);
    taken_ += static_cast<std::uint64_t>(got);
    if (taken_ > limit_.Bytes) {
        atEnd_ = true;
        RaiseTooLarge(fileName_, limit_);
    }
    filled_ = kept + static_cast<std::size_t>(got);
    return !atEnd_;
}

int TTextReader::PeekAt(std::size_t offset) {
    if (position_ + offset >= filled_ && !Fill())
        return kEndOfFile;
    if (position_ + offset >= filled_)
        return kEndOfFile;
    return static_cast<unsigned char>(Data()[position_ + offset]);
}

int TTextReader::Peek() {
    return PeekAt(0);
}

int TTextReader::Get() {
    const int c = Peek();
    if (c != kEndOfFile) {
        ++position_;
        if (c == '\n')
            ++line_;
    }
    return c;
}

bool TTextReader::Eof() {
    return Peek() == kEndOfFile;
}

bool TTextReader::SeekEof() {
    while (IsBlank(Peek()))
        Get();
    return Eof();
}

bool TTextReader::SeekEoln() {
    for (int c = Peek();; c = Peek()) {
        if (c == kEndOfFile || c == '\n' || (c == '\r' && PeekAt(1) == '\n'))
            return true;
        if (!IsBlank(c))
            return false;
        Get();
    }
}

std::string TTextReader::ReadToken(int maxLength) {
    while (IsBlank(Peek()))
        Get();
    std::string token;
    while (static_cast<int>(token.size()) < maxLength) {
        const int c = Peek();
        if (c == kEndOfFile || IsBlank(c))
            break;
        token += static_cast<char>(Get());
    }
    return token;
}

void RaiseInvalidNumber(const std::string& token, const std::string& fileName, std::int64_t line) {
    throw EInOutError("Invalid numeric input \"" + token + "\" in file \"" + fileName +
                          "\", line " + std::to_string(line),
                      kInvalidNumericInput);
}

bool TTextReader::TryReadReal(double& value) {
    return ParseReal(ReadToken(64), value);
}

double TTextReader::ReadReal() {
    const std::string token = ReadToken(64);
    double value = 0;
    if (!ParseReal(token, value))
        RaiseInvalidNumber(token, fileName_, line_);
    return value;
}

bool TTextReader::TryReadInt(std::int32_t& value) {
    return ParseInt(ReadToken(32), value);
}

std::int32_t TTextReader::ReadInt() {
    const std::string token = ReadToken(32);
    std::int32_t value = 0;
    if (!ParseInt(token, value))
        RaiseInvalidNumber(token, fileName_, line_);
    return value;
}

std::string TTextReader::ReadField(int width) {
    std::string field;
    while (static_cast<int>(field.size()) < width) {
        const int c = Peek();
        if (c == kEndOfFile || c == '\n')
            break;
        if (c == '\r') {
            if (PeekAt(1) == '\n')
                break; // CR LF ends the line and stays unread
            Get();
            continue;
        }
        field += static_cast<char>(Get());
    }
    return field;
}

char TTextReader::ReadChar() {
    const int c = Get();
    return c == kEndOfFile ? kEofMark : static_cast<char>(c);
}

std::string TTextReader::SkipLine(std::size_t keep) {
    std::string skipped;
    for (int c = Get(); c != kEndOfFile && c != '\n'; c = Get())
        if (skipped.size() < keep)
            skipped += static_cast<char>(c);
    return skipped;
}

void TTextWriter::Create(const std::string& fileName, TSaveOptions options) {
    file_.Open(fileName, options);
}

void TTextWriter::WriteLine(std::string_view text) {
    Write(text);
    Write("\r\n");
}

void TTextWriter::Close() {
    if (file_.IsOpen())
        file_.Commit();
}

} // namespace zelt
