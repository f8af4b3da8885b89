// SPDX-License-Identifier: GPL-3.0-or-later
#include "textinput/TxtAccessNew.h"

#include "common/format.h"
#include "textinput/scaling.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace zelt {

namespace {

constexpr int kHeaderLinesAtom = 5;
constexpr int kHeaderLinesMol = 4;
// The runtime's error code for reading a file that is not open for input.
constexpr int kFileNotOpenForInput = 104;
// The largest line tables (every line of a species, from a complete compilation) take tens of
// megabytes.
constexpr TReadLimit kTableFileLimit{128 * kMegabyte, "a line table"};

// The molecule and band names of a file such as "m_CN_B-X.txt": the text between the first and
// second "_" and the text from there to the first "." (CN and B-X). With a single "_" the
// molecule runs to the "." and the band is empty; without "_" both are empty.
std::pair<std::string, std::string> NamesFromFileName(const std::string& fileName) {
    const std::string name = fileName.substr(fileName.find_last_of('/') + 1);
    const auto first = name.find('_');
    if (first == std::string::npos)
        return {};
    const auto second = name.find('_', first + 1);
    if (second == std::string::npos) {
        const auto dot = name.find('.', first + 1);
        return {name.substr(first + 1, std::min<std::size_t>(dot - first - 1, 10)), {}};
    }
    const auto dot = name.find('.', second + 1);
    return {name.substr(first + 1, std::min<std::size_t>(second - first - 1, 10)),
            name.substr(second + 1, std::min<std::size_t>(dot - second - 1, 4))};
}

// A fixed-width field holds at most one word: no text after the blanks that follow its first.
bool OneWord(std::string_view field) {
    const std::string_view text = TrimBlanks(field);
    return std::none_of(text.begin(), text.end(),
                        [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

} // namespace

TTextFile::TTextFile(std::string fileName) : fileName_(std::move(fileName)) {}

TTextFile::~TTextFile() {
    try {
        Close();
    } catch (const Exception&) {
        // A destructor must not throw; an owner that cares calls Close itself.
    }
}

void TTextFile::OpenRead() {
    if (isOpen_)
        return;
    reader_.Open(fileName_, kTableFileLimit);
    isOpen_ = true;
    isInput_ = true;
}

void TTextFile::OpenWrite() {
    if (isOpen_)
        return;
    writer_.Create(fileName_);
    isOpen_ = true;
    isInput_ = false;
}

void TTextFile::Close() {
    if (!isOpen_)
        return;
    isOpen_ = false;
    if (isInput_)
        reader_.Close();
    else
        writer_.Close();
}

void TTextFile::RequireUnchanged() {
    if (isOpen_ && isInput_)
        reader_.RequireUnchanged();
}

TTextReader& TTextFile::Input() {
    if (!isOpen_ || !isInput_)
        throw EInOutError("File \"" + fileName_ + "\" is not open for reading",
                          kFileNotOpenForInput);
    return reader_;
}

std::string TTextFile::ReadText(int width) {
    return Input().ReadField(width);
}

void TTextFile::ReadFloat(double& value) {
    ReadFloatDef(value, -1);
}

void TTextFile::ReadFloatDef(double& value, double def) {
    try {
        if (!Input().TryReadReal(value))
            value = def;
    } catch (const EInOutError&) {
        value = def;
    }
}

void TTextFile::ReadInt(std::int32_t& value) {
    try {
        if (!Input().TryReadInt(value))
            value = -1;
    } catch (const EInOutError&) {
        value = -1;
    }
}

void TTextFile::ReadText2(std::string& text) {
    try {
        text = ReadText(2);
    } catch (const EInOutError&) {
        text.clear();
    }
}

void TTextFile::ReadText4(std::string& text) {
    try {
        text = ReadText(4);
    } catch (const EInOutError&) {
        text.clear();
    }
}

char TTextFile::SkipSeparator(int count) {
    char c = ' ';
    for (int i = 0; i < count && (c == '\t' || c == '\n' || c == '\r' || c == ' '); ++i)
        c = Input().ReadChar();
    return c;
}

void TAtomFile::OpenRead() {
    if (IsOpen())
        return;
    TTextFile::OpenRead();
    for (int i = 0; i < kHeaderLinesAtom; ++i)
        Input().SkipLine();
}

// Text1 to Text4, each after its separator. A reading error ends the group: the fields not yet
// read keep what the record held.
void TAtomFile::ReadStateTexts(TAtomRecord& record) {
    try {
        record.Text1 = ReadText(40);
        SkipSeparator(1);
        record.Text2 = ReadText(16);
        SkipSeparator(1);
        record.Text3 = ReadText(4);
        SkipSeparator(1);
        record.Text4 = ReadText(14);
        SkipSeparator(1);
    } catch (const EInOutError&) {
        // The record goes on with the texts it has.
    }
}

bool TAtomFile::ReadRecord(TAtomRecord& record) {
    const int line = IsOpen() && IsInput() ? Input().LineNumber() : 0;
    // What the row breaks of the fixed columns: a row written with blanks in other places
    // shifts numbers into the text fields and back, and would read as a valid record.
    const char* misplaced = nullptr;
    const auto expect = [&](bool holds, const char* what) {
        if (!holds && misplaced == nullptr)
            misplaced = what;
    };
    try {
        ReadText2(record.Element);
        expect(static_cast<unsigned char>(SkipSeparator(1)) <= ' ',
               "a blank in column 3, after the element in columns 1-2");
        ReadText4(record.Ion);
        expect(OneWord(record.Ion), "one word for the ion in columns 4-7");
        ReadFloat(record.Wavelength);
        ReadFloat(record.Value1);
        ReadFloat(record.Aki);
        record.Aki = ScaledValue(record.Aki, 1e8L, "Aki");
        ReadFloat(record.Value2);
        ReadFloat(record.Value3);
        ReadFloatDef(record.LogGf, 0);
        SkipSeparator(1);
        ReadText4(record.Code);
        expect(OneWord(record.Code), "one word for the 4-character code after log gf");
        ReadFloat(record.ELower);
        ReadFloat(record.EUpper);
        ReadFloat(record.Value4);
        ReadFloat(record.Value5);
        ReadInt(record.Gi);
        ReadInt(record.Gk);
        SkipSeparator(1);
        ReadStateTexts(record);
        try {
            record.Text5 = ReadText(8);
            Input().SkipLine();
        } catch (const EInOutError&) {
            // Like the group before: Text5 keeps what the record held.
        }
        if (!(record.Wavelength > 0) || record.Element.empty())
            throw TxtError("");
        for (std::string* text : {&record.Element, &record.Ion, &record.Code, &record.Text1,
                                  &record.Text2, &record.Text3, &record.Text4})
            *text = std::string(TrimBlanks(*text));
        record.Order = 1;
    } catch (const std::exception&) {
        return false;
    }
    if (misplaced != nullptr)
        throw TxtError("Line " + std::to_string(line) + " of the line table \"" + FileName() +
                       "\" is not in the fixed columns: expected " + misplaced +
                       " (read element \"" + record.Element + "\", ion \"" + record.Ion +
                       "\", wavelength " + FloatToStr(record.Wavelength) + " nm)");
    return true;
}

void TMolFile::OpenRead() {
    if (IsOpen())
        return;
    TTextFile::OpenRead();
    const std::string type = ReadText(1);
    headerTypeA_ = type == "A" || type == "a";
    for (int i = 0; i < kHeaderLinesMol; ++i)
        Input().SkipLine();
}

bool TMolFile::ReadRecord(TMolRecord& record) {
    try {
        ReadFloat(record.Wavelength);
        ReadFloat(record.Value1);
        if (record.Value1 > 0)
            record.Value1 = ScaledValue(record.Value1, 1e14L, "Value1");
        ReadFloat(record.Value2);
        ReadInt(record.Count1);
        ReadInt(record.Count2);
        ReadFloat(record.Value3);
        if (record.Value1 > 0 && headerTypeA_) {
            const long double cube =
                static_cast<long double>(record.Value1) * record.Value1 * record.Value1;
            record.Value3 = ScaledValue(record.Value3, 1.0L / cube, "Value3");
        }
        ReadFloat(record.Value4);
        if (record.Value4 > 0)
            record.Value4 = ScaledValue(record.Value4, 1e-20L, "Value4");
        try {
            record.Text = ReadText(50);
            Input().SkipLine();
            record.Text = std::string(TrimBlanks(record.Text));
        } catch (const EInOutError&) {
            record.Text.clear();
        }
        record.Order = 1;
        if (!(record.Wavelength > 0))
            throw TxtError("");
        std::tie(record.Name1, record.Name2) = NamesFromFileName(FileName());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace zelt
