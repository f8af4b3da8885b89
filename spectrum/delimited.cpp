// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum/delimited.h"

#include "common/convert.h"
#include "common/errors.h"
#include "common/textfile.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace zelt {

namespace {

// How many numeric lines from the middle of the file decide the separator and the decimal sign:
// the middle, so that a title line that starts with a number does not vote.
constexpr std::size_t kLayoutSample = 24;

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

// Blank-separated fields: runs of characters above the blank.
std::vector<std::string_view> SplitAtBlanks(std::string_view text) {
    std::vector<std::string_view> fields;
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

std::vector<std::string_view> SplitFields(std::string_view text, char separator) {
    if (separator == ' ')
        return SplitAtBlanks(text);
    std::vector<std::string_view> fields;
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

// Column titles of a blank-separated table may hold single blanks ("Wavelength (nm)"): they
// are split at tabs and runs of two or more blanks.
std::vector<std::string_view> SplitTitles(std::string_view text, char separator,
                                          std::size_t columns) {
    std::vector<std::string_view> fields = SplitFields(text, separator);
    if (separator != ' ' || fields.size() == columns)
        return fields;
    fields.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        while (end < text.size() && text[end] != '\t' && text.substr(end, 2) != "  ")
            ++end;
        fields.push_back(TrimBlanks(text.substr(start, end - start)));
        start = end;
        while (start < text.size() && static_cast<unsigned char>(text[start]) <= 32)
            ++start;
    }
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

struct TLayout {
    char Separator, Decimal;
};

// Every layout a table may have, in the order that decides between equally good ones.
constexpr TLayout kLayouts[] = {{'\t', '.'}, {'\t', ','}, {';', '.'}, {';', ','},
                                {',', '.'},  {' ', '.'},  {' ', ','}};

// The number of values of a line read in `layout`; 0 when a field is not a number.
std::size_t Width(std::string_view text, TLayout layout) {
    const std::vector<std::string_view> fields = SplitFields(text, layout.Separator);
    double value = 0;
    for (const std::string_view field : fields)
        if (!ParseNumber(field, layout.Decimal, value))
            return 0;
    return fields.size();
}

// The layout that reads most of the sampled lines as rows of one width of two values or more,
// and that width; width 0 when no layout reads any line so.
std::pair<TLayout, std::size_t> DetectLayout(const std::vector<std::string_view>& sample) {
    TLayout best = kLayouts[0];
    std::size_t bestWidth = 0, bestRows = 0;
    for (const TLayout layout : kLayouts) {
        std::map<std::size_t, std::size_t> rows; // width -> lines of that width
        for (const std::string_view text : sample)
            if (const std::size_t width = Width(text, layout); width >= 2)
                ++rows[width];
        // Of widths with as many lines the wider: a row cut short is the commoner fault.
        std::size_t width = 0, count = 0;
        for (const auto& [w, n] : rows)
            if (n >= count) {
                width = w;
                count = n;
            }
        if (count > bestRows) {
            best = layout;
            bestWidth = width;
            bestRows = count;
        }
    }
    return {best, bestWidth};
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
    if (Separator == '=')
        return std::string("labelled values, decimal ") + (Decimal == ',' ? "comma" : "point");
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

namespace {

// The wavelength a label names: its first number of three digits or more before the decimal
// sign ("I_696" 696, "Ar2_750.39" 750.39, "L(811,53nm)" 811.53).
bool LabelWavelength(std::string_view label, double& wavelength) {
    for (std::size_t i = 0; i < label.size();) {
        if (!IsDigit(label[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < label.size() && IsDigit(label[end]))
            ++end;
        const std::size_t digits = end - i;
        if ((label.substr(end, 1) == "." || label.substr(end, 1) == ",") &&
            end + 1 < label.size() && IsDigit(label[end + 1]))
            for (++end; end < label.size() && IsDigit(label[end]);)
                ++end;
        if (digits >= 3)
            return ParseNumber(label.substr(i, end - i),
                               label.substr(i, end - i).find(',') == std::string_view::npos ? '.'
                                                                                            : ',',
                               wavelength);
        i = end;
    }
    return false;
}

// A line "LABEL = VALUE" or "LABEL VALUE" whose label names a wavelength.
bool ParseLabelled(std::string_view text, double& wavelength, double& value, char& decimal) {
    std::string_view label, rest;
    if (const std::size_t equals = text.find('='); equals != std::string_view::npos) {
        label = TrimBlanks(text.substr(0, equals));
        rest = TrimBlanks(text.substr(equals + 1));
    } else {
        const std::vector<std::string_view> fields = SplitAtBlanks(text);
        if (fields.size() != 2)
            return false;
        label = fields[0];
        rest = fields[1];
    }
    const std::vector<std::string_view> values = SplitAtBlanks(rest);
    if (label.empty() || StartsLikeNumber(label) || values.empty() ||
        !LabelWavelength(label, wavelength))
        return false;
    decimal = values[0].find(',') == std::string_view::npos ? '.' : ',';
    return ParseNumber(values[0], decimal, value);
}

// The rows of a list of labelled values, or an empty table when no line is one.
TDelimitedTable LabelledTable(const std::vector<TTextLine>& lines, const std::string& fileName) {
    TDelimitedTable table;
    table.FileName = fileName;
    table.Separator = '=';
    table.Names = {"wavelength in the label", "value"};
    table.Columns.resize(2);
    for (const TTextLine& line : lines) {
        double wavelength = 0, value = 0;
        char decimal = '.';
        if (IsComment(line.Text) || !ParseLabelled(line.Text, wavelength, value, decimal)) {
            if (!line.Text.empty())
                table.Text.emplace_back(line.Text);
            continue;
        }
        if (decimal == ',')
            table.Decimal = ',';
        table.Columns[0].push_back(wavelength);
        table.Columns[1].push_back(value);
        table.Lines.push_back(line.Number);
    }
    return table;
}

// "lines 5 to 3652" or "line 5".
std::string LineRange(int first, int last) {
    return first == last ? "line " + std::to_string(first)
                         : "lines " + std::to_string(first) + " to " + std::to_string(last);
}

// What is wrong with a line that interrupts the data: its number of values, or the first value
// that is not a number in the table's layout.
std::string BrokenRow(const TDelimitedTable& table, const TTextLine& line, std::size_t width,
                      const std::string& dataLines) {
    const std::vector<std::string_view> fields = SplitFields(line.Text, table.Separator);
    const std::string where = Where(table.FileName, line.Number);
    const std::string layout =
        " (" + table.Layout() + ", the layout of the data in " + dataLines + ").";
    if (fields.size() != width)
        return where + std::to_string(fields.size()) + " values where the data have " +
               std::to_string(width) + layout;
    double value = 0;
    for (std::size_t c = 0; c < fields.size(); ++c)
        if (!ParseNumber(fields[c], table.Decimal, value))
            return where + "\"" + std::string(fields[c]) + "\" in " + table.ColumnName(c) +
                   " is not a number" + layout;
    return where + "the data break off here" + layout;
}

} // namespace

TDelimitedTable ParseDelimited(std::string_view bytes, const std::string& fileName) {
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
    const auto candidate = [&](std::size_t i) {
        return inData[i] && !IsComment(lines[i].Text) && StartsLikeNumber(lines[i].Text);
    };

    // The layout is decided on the lines in the middle of those that start like numbers.
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (candidate(i))
            candidates.push_back(i);
    const std::size_t skip =
        candidates.size() > kLayoutSample ? (candidates.size() - kLayoutSample) / 2 : 0;
    std::vector<std::string_view> sample;
    for (std::size_t k = skip; k < candidates.size() && sample.size() < kLayoutSample; ++k)
        sample.push_back(lines[candidates[k]].Text);
    const auto [layout, width] = DetectLayout(sample);
    if (width == 0) {
        TDelimitedTable labelled = LabelledTable(lines, fileName);
        if (labelled.Rows() > 0)
            return labelled;
        if (candidates.empty())
            throw EInOutError("File \"" + fileName + "\" holds no table of numbers.");
        const TTextLine& first = lines[candidates[skip]];
        throw EInOutError(Where(fileName, first.Number) +
                          (Width(first.Text, {' ', '.'}) == 1
                               ? "one value; a spectrum needs two columns or more."
                               : "no separator (tab, semicolon, comma or blanks) divides this "
                                 "line into two numbers or more."));
    }
    TDelimitedTable table;
    table.FileName = fileName;
    table.Separator = layout.Separator;
    table.Decimal = layout.Decimal;

    // The rows: lines of `width` numbers, their values kept in one run.
    std::vector<double> values;
    std::vector<std::size_t> rowStart(lines.size(), std::string_view::npos);
    for (const std::size_t i : candidates) {
        const std::vector<std::string_view> fields = SplitFields(lines[i].Text, layout.Separator);
        if (fields.size() != width)
            continue;
        const std::size_t start = values.size();
        double value = 0;
        bool numbers = true;
        for (const std::string_view field : fields) {
            numbers = numbers && ParseNumber(field, layout.Decimal, value);
            values.push_back(value);
        }
        if (numbers)
            rowStart[i] = start;
        else
            values.resize(start);
    }
    const auto isRow = [&](std::size_t i) { return rowStart[i] != std::string_view::npos; };
    const auto skipped = [&](std::size_t i) {
        return lines[i].Text.empty() || IsComment(lines[i].Text);
    };

    // The data block: the longest run of rows, empty and comment lines between them allowed.
    std::size_t first = 0, last = 0, rows = 0;
    for (std::size_t i = 0; i < lines.size();) {
        if (!isRow(i)) {
            ++i;
            continue;
        }
        std::size_t end = i, count = 0;
        for (std::size_t j = i; j < lines.size() && (isRow(j) || skipped(j)); ++j)
            if (isRow(j)) {
                end = j;
                ++count;
            }
        if (count > rows) {
            first = i;
            last = end;
            rows = count;
        }
        i = end + 1;
    }

    // Column titles and a line of units: the lines just above the data.
    std::vector<std::size_t> above;
    for (std::size_t i = first; i-- > 0 && above.size() < 2;)
        if (!skipped(i))
            above.push_back(i);
    if (!above.empty() && !candidate(above[0])) {
        const auto titles = [&, separator = layout.Separator, columns = width](std::size_t i) {
            return SplitTitles(lines[i].Text, separator, columns);
        };
        const std::vector<std::string_view> nearest = titles(above[0]);
        if (nearest.size() == width && LooksLikeUnits(nearest)) {
            table.Units = Strings(nearest);
            if (above.size() > 1 && titles(above[1]).size() == width)
                table.Names = Strings(titles(above[1]));
        } else if (nearest.size() == width) {
            table.Names = Strings(nearest);
        }
    }

    // A line that breaks off the data, with rows on its other side, is a fault of the data.
    const std::string dataLines = LineRange(lines[first].Number, lines[last].Number);
    std::size_t below = last + 1;
    while (below < lines.size() && skipped(below))
        ++below;
    if (below < lines.size() && candidate(below))
        throw EInOutError(BrokenRow(table, lines[below], width, dataLines));
    for (std::size_t i = below; i < lines.size(); ++i)
        if (isRow(i))
            throw EInOutError(Where(fileName, lines[i].Number) +
                              "numbers after the end of the data at line " +
                              std::to_string(lines[below].Number) + ".");
    if (std::count_if(rowStart.begin(), rowStart.begin() + static_cast<std::ptrdiff_t>(first),
                      [](std::size_t s) { return s != std::string_view::npos; }) > 1 &&
        candidate(above.at(0)))
        throw EInOutError(BrokenRow(table, lines[above[0]], width, dataLines));

    table.Columns.resize(width);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i >= first && i <= last && isRow(i)) {
            for (std::size_t c = 0; c < width; ++c)
                table.Columns[c].push_back(values[rowStart[i] + c]);
            table.Lines.push_back(lines[i].Number);
        } else if (!lines[i].Text.empty()) {
            table.Text.emplace_back(lines[i].Text);
        }
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
