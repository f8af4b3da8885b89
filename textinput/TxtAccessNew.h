// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Readers of the database table files: TTextFile holds one sequential single-byte text file and
// its reading primitives; TAtomFile and TMolFile turn the data lines of atomic line tables and
// molecular band tables into records. Numbers always use "." as the decimal point.

#include "common/errors.h"
#include "common/textfile.h"

#include <cstdint>
#include <string>

namespace zelt {

// One atomic line of the database, copied freely between the table store, the line model and
// the window. Texts are Windows-1252 bytes, never longer than the bound given beside them.
struct TAtomRecord {
    std::string Element;   // <= 2
    std::string Ion;       // <= 4
    double Wavelength = 0; // nm, the sort and search key of the table store
    double Value1 = 0;
    double Aki = 0; // s-1 (the file gives it in 1e8 s-1)
    double Value2 = 0, Value3 = 0;
    double LogGf = 0;
    std::string Code;              // <= 4
    double ELower = 0, EUpper = 0; // eV
    std::string Text1;             // <= 40, lower and upper state joined by "-"
    std::string Text2;             // <= 16, likewise
    double Value4 = 0;             // belongs to the lower state
    double Value5 = 0;             // belongs to the upper state
    std::int32_t Gi = 0, Gk = 0;
    std::string Text3;      // <= 4
    std::string Text4;      // <= 14
    std::string Text5;      // <= 8, kept untrimmed
    std::int32_t Order = 0; // 1 as read; 2 and 3 for the store's diffraction-order copies
};

// One molecular band line.
struct TMolRecord {
    std::string Name1, Name2; // <= 10, <= 4: the molecule and band taken from the file name
    double Wavelength = 0;    // nm
    double Value1 = 0, Value2 = 0;
    std::int32_t Count1 = 0, Count2 = 0;
    double Value3 = 0, Value4 = 0;
    std::string Text; // <= 50
    std::int32_t Order = 0;
};

// A sequential text file opened for reading or writing. No process-wide file-open mode is saved
// and restored around the opens: a file opened for reading is opened read-only.
class TTextFile {
public:
    explicit TTextFile(std::string fileName);
    TTextFile(const TTextFile&) = delete;
    TTextFile& operator=(const TTextFile&) = delete;
    // Closes a file still open; a failure to close is not reported here.
    virtual ~TTextFile();

    // Opens the file read-only at its start; nothing when already open. A file that cannot be
    // opened raises EInOutError naming it, and the object stays closed.
    virtual void OpenRead();
    // Creates the file or empties it, for writing; nothing when already open.
    virtual void OpenWrite();
    // Closes the file (a failed write-back raises EInOutError); nothing when not open.
    void Close();
    // Raises EInOutError when the file open for reading changed since it was opened
    // (TTextReader::RequireUnchanged); nothing when it is not open for reading.
    void RequireUnchanged();

    // The next blank-delimited number. A token that is no number, or any other reading error,
    // gives -1 (ReadFloat, ReadInt) or `def` (ReadFloatDef) and is not raised.
    void ReadFloat(double& value);
    void ReadFloatDef(double& value, double def);
    void ReadInt(std::int32_t& value);
    // Fixed-width fields of 2 and 4 characters of the current line; empty on a reading error.
    void ReadText2(std::string& text);
    void ReadText4(std::string& text);
    // Reads at most `count` characters, going on only while the one before was a tab, line
    // feed, carriage return or space (the first is always read). Returns the last one read;
    // a reading error is raised.
    char SkipSeparator(int count);

    const std::string& FileName() const { return fileName_; }
    bool IsOpen() const { return isOpen_; }
    bool IsInput() const { return isInput_; }

protected:
    // The reader of a file open for input; EInOutError when the file is not open for reading.
    TTextReader& Input();
    // The next at most `width` characters of the current line; a reading error is raised.
    std::string ReadText(int width);

private:
    std::string fileName_;
    TTextReader reader_;
    TTextWriter writer_;
    bool isOpen_ = false;
    bool isInput_ = false;
};

// An atomic line table: five header lines, then one record per line.
class TAtomFile : public TTextFile {
public:
    using TTextFile::TTextFile;
    // Opens the file and skips its five header lines.
    void OpenRead() override;
    // Reads one data line; false when it is not a valid record (empty element field,
    // wavelength not above 0, end of file). A valid record whose row is not in the fixed
    // columns (no blank in column 3, two words in the ion or the code field) raises TxtError
    // naming the file, the line and what was expected.
    bool ReadRecord(TAtomRecord& record);

private:
    void ReadStateTexts(TAtomRecord& record);
};

// A molecular band table: four header lines, the first starting with its type character
// ("A" selects the scaling of Value3), then one record per line.
class TMolFile : public TTextFile {
public:
    using TTextFile::TTextFile;
    // Opens the file, reads the type character and skips the header.
    void OpenRead() override;
    // Reads one data line; false when it is not a valid record. Nothing is raised.
    bool ReadRecord(TMolRecord& record);
    bool HeaderTypeA() const { return headerTypeA_; }

private:
    bool headerTypeA_ = false;
};

} // namespace zelt
