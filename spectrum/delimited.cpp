// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/delimited.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/textfile.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace zelt {

namespace {

// How many of the first data lines decide the separator and the decimal sign.
constexpr std::size_t kLayoutSample = 20;

struct TTextLine {
    int Number;
    std::string_view Text; // trimmed
};

std::vector<TTextLine> SplitLines(std::string_view bytes) {
    std::vector<TTextLine> lines;
    int number = 1;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = bytes.size();
        lines.push_back({number++, TrimBlanks(bytes.substr(start, end - start))});
        // CR LF is one line end, a lone CR or LF another.
        start = end + (bytes.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return lines;
}

bool IsComment(std::string_view text) {
    return text.starts_with('#') || text.starts_with('%') || text.starts_with("//");
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A line that may hold data: it starts like a number.
bool StartsLikeNumber(std::string_view text) {
    if (!text.empty() && (text[0] == '+' || text[0] == '-'))
        text.remove_prefix(1);
    return !text.empty() && (IsDigit(text[0]) || ((text[0] == '.' || text[0] == ',') &&
                                                  text.size() > 1 && IsDigit(text[1])));
}

std::vector<std::string_view> SplitFields(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    if (separator == ' ') {
        std::size_t i = 0;
        while (i < text.size()) {
            while (i < text.size() && static_cast<unsigned char>(text[i]) <= 32)
                ++i;
            const std::size_t start = i;
            while (i < text.size() && static_cast<unsigned char>(text[i]) > 32)
                ++i;
            if (i > start)
                fields.push_back(text.substr(start, i - start));
        }
        return fields;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        fields.push_back(TrimBlanks(text.substr(start, end - start)));
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    // A separator at the end of every line (some programs write one) adds no column.
    if (fields.size() > 1 && fields.back().empty())
        fields.pop_back();
    return fields;
}

bool ParseNumber(std::string_view field, char decimal, double& value) {
    if (decimal == '.')
        return TryStrToFloat(field, value);
    // A number is short: longer fields are no numbers, and need no copy.
    char text[64];
    if (field.size() > sizeof text || field.find('.') != std::string_view::npos)
        return false;
    std::replace_copy(field.begin(), field.end(), text, ',', '.');
    return TryStrToFloat(std::string_view(text, field.size()), value);
}

bool AllNumbers(const std::vector<std::string_view>& fields, char decimal) {
    double value = 0;
    return std::all_of(fields.begin(), fields.end(),
                       [&](std::string_view f) { return ParseNumber(f, decimal, value); });
}

struct TLayout {
    char Separator, Decimal;
};

// The separator present in every sampled line, tried in the order tab, semicolon, comma (with a
// decimal point, when that splits every line into numbers), blanks. The decimal sign is a comma
// when a value holds one.
TLayout DetectLayout(const std::vector<std::string_view>& sample) {
    const auto inAll = [&](char c) {
        return std::all_of(sample.begin(), sample.end(),
                           [c](std::string_view t) { return t.find(c) != std::string_view::npos; });
    };
    const auto decimalOf = [&](char separator) {
        for (const std::string_view text : sample)
            for (const std::string_view field : SplitFields(text, separator))
                if (field.find(',') != std::string_view::npos)
                    return ',';
        return '.';
    };
    for (const char separator : {'\t', ';'})
        if (inAll(separator))
            return {separator, decimalOf(separator)};
    if (inAll(',') && std::all_of(sample.begin(), sample.end(), [](std::string_view t) {
            const auto fields = SplitFields(t, ',');
            return fields.size() > 1 && AllNumbers(fields, '.');
        }))
        return {',', '.'};
    return {' ', decimalOf(' ')};
}

bool LooksLikeUnits(const std::vector<std::string_view>& fields) {
    return std::all_of(fields.begin(), fields.end(), [](std::string_view f) {
        return f.size() >= 2 &&
               ((f.front() == '[' && f.back() == ']') || (f.front() == '(' && f.back() == ')'));
    });
}

std::string Where(const std::string& fileName, int line) {
    return "File \"" + fileName + "\", line " + std::to_string(line) + ": ";
}

std::vector<std::string> Strings(const std::vector<std::string_view>& fields) {
    return {fields.begin(), fields.end()};
}

} // namespace

std::string LowerCase(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

std::string TDelimitedTable::Layout() const {
    const char* separator = Separator == '\t'  ? "tab"
                            : Separator == ';' ? "semicolon"
                            : Separator == ',' ? "comma"
                                               : "blank";
    return std::string(separator) + "-separated, decimal " + (Decimal == ',' ? "comma" : "point");
}

std::string TDelimitedTable::ColumnName(std::size_t column) const {
    std::string name = "column " + std::to_string(column + 1);
    if (column < Names.size() && !Names[column].empty())
        name += " (" + Names[column] + ")";
    return name;
}

TDelimitedTable ParseDelimited(std::string_view bytes, const std::string& fileName) {
    TDelimitedTable table;
    table.FileName = fileName;
    const std::vector<TTextLine> lines = SplitLines(bytes);

    // With begin and end markers the data lie between them.
    const auto marker = [](std::string_view text, std::string_view word) {
        return text.starts_with(">>>>>") && text.find(word) != std::string_view::npos;
    };
    const bool marked = std::any_of(lines.begin(), lines.end(),
                                    [&](const TTextLine& l) { return marker(l.Text, "Begin"); });
    std::vector<bool> inData(lines.size(), !marked);
    bool open = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (marker(lines[i].Text, "Begin"))
            open = true;
        else if (marker(lines[i].Text, "End"))
            open = false;
        else if (open)
            inData[i] = true;
    }

    std::vector<std::string_view> sample;
    for (std::size_t i = 0; i < lines.size() && sample.size() < kLayoutSample; ++i)
        if (inData[i] && StartsLikeNumber(lines[i].Text))
            sample.push_back(lines[i].Text);
    if (sample.empty())
        throw EInOutError("File \"" + fileName + "\" holds no table of numbers.");
    const TLayout layout = DetectLayout(sample);
    table.Separator = layout.Separator;
    table.Decimal = layout.Decimal;

    std::optional<int> dataEnd;
    std::vector<std::string_view> previous, beforePrevious;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const TTextLine& line = lines[i];
        if (line.Text.empty())
            continue;
        const bool comment = IsComment(line.Text);
        const auto fields = SplitFields(line.Text, table.Separator);
        const bool numeric = inData[i] && !comment && StartsLikeNumber(line.Text);
        if (numeric && dataEnd)
            throw EInOutError(Where(fileName, line.Number) +
                              "numbers after the end of the data at "
                              "line " +
                              std::to_string(*dataEnd) + ".");
        if (!numeric) {
            if (!table.Columns.empty() && !dataEnd)
                dataEnd = line.Number;
            table.Text.emplace_back(line.Text);
            if (!comment && table.Columns.empty()) {
                beforePrevious = previous;
                previous = fields;
            }
            continue;
        }
        if (table.Columns.empty()) {
            if (fields.size() < 2)
                throw EInOutError(Where(fileName, line.Number) +
                                  "one value; a spectrum needs two columns or more.");
            table.Columns.resize(fields.size());
            if (previous.size() == fields.size() && LooksLikeUnits(previous)) {
                table.Units = Strings(previous);
                if (beforePrevious.size() == fields.size())
                    table.Names = Strings(beforePrevious);
            } else if (previous.size() == fields.size()) {
                table.Names = Strings(previous);
            }
        }
        if (fields.size() != table.Columns.size())
            throw EInOutError(Where(fileName, line.Number) + std::to_string(fields.size()) +
                              " values where the data have " +
                              std::to_string(table.Columns.size()) + ".");
        for (std::size_t c = 0; c < fields.size(); ++c) {
            double value = 0;
            if (!ParseNumber(fields[c], table.Decimal, value))
                throw EInOutError(Where(fileName, line.Number) + "\"" + std::string(fields[c]) +
                                  "\" in " + table.ColumnName(c) + " is not a number (" +
                                  table.Layout() + ").");
            table.Columns[c].push_back(value);
        }
        table.Lines.push_back(line.Number);
    }
    return table;
}

TDelimitedTable ReadDelimited(const std::string& fileName) {
    return ParseDelimited(ReadFileBytes(fileName, kTableLimit), fileName);
}

std::size_t FindTitledColumn(const TDelimitedTable& table,
                             std::initializer_list<const char*> titles) {
    for (const char* title : titles)
        for (std::size_t c = 0; c < table.Names.size(); ++c)
            if (LowerCase(table.Names[c]).starts_with(title))
                return c;
    return table.Columns.size();
}

std::size_t ChooseColumn(const TDelimitedTable& table, const std::string& choice,
                         std::initializer_list<const char*> titles, std::size_t fallback,
                         const char* what) {
    const std::size_t count = table.Columns.size();
    std::string columns;
    for (std::size_t c = 0; c < count; ++c)
        columns += (c == 0 ? "" : ", ") + table.ColumnName(c);
    const auto refuse = [&](const std::string& asked) -> std::size_t {
        throw EInOutError("File \"" + table.FileName + "\" has no " + what + " column " + asked +
                          "; its columns are " + columns + ".");
    };
    if (choice.empty()) {
        const std::size_t titled = FindTitledColumn(table, titles);
        if (titled < count)
            return titled;
        return fallback < count ? fallback : refuse(std::to_string(fallback + 1));
    }
    std::int32_t number = 0;
    if (TryStrToInt(choice, number))
        return number >= 1 && static_cast<std::size_t>(number) <= count
                   ? static_cast<std::size_t>(number - 1)
                   : refuse(choice);
    const std::string wanted = LowerCase(TrimBlanks(choice));
    for (std::size_t c = 0; c < table.Names.size(); ++c)
        if (LowerCase(table.Names[c]) == wanted)
            return c;
    for (std::size_t c = 0; c < table.Names.size(); ++c)
        if (LowerCase(table.Names[c]).starts_with(wanted))
            return c;
    return refuse("\"" + choice + "\"");
}

} // namespace zelt
