// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/series.h"

#include "app/tsvfields.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace zelt {

namespace {

bool IsDigit(const std::string& text, std::size_t i) {
    return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0;
}

std::size_t DigitsEnd(const std::string& text, std::size_t i) {
    while (IsDigit(text, i))
        ++i;
    return i;
}

// The end of the number that starts at `i`: digits, then "." and digits, then an exponent
// ("e" or "E", an optional sign, digits); `i` itself where no digit stands there.
std::size_t NumberEnd(const std::string& text, std::size_t i) {
    std::size_t end = DigitsEnd(text, i);
    if (end == i)
        return i;
    if (end < text.size() && text[end] == '.' && IsDigit(text, end + 1))
        end = DigitsEnd(text, end + 1);
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        std::size_t digits = end + 1;
        if (digits < text.size() && (text[digits] == '+' || text[digits] == '-'))
            ++digits;
        if (IsDigit(text, digits))
            end = DigitsEnd(text, digits);
    }
    return end;
}

std::string WithoutExtension(const std::string& name) {
    const std::string extension = ".txt";
    if (name.size() <= extension.size())
        return name;
    const std::string tail = name.substr(name.size() - extension.size());
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(tail[i])) != extension[i])
            return name;
    return name.substr(0, name.size() - extension.size());
}

} // namespace

TNamePattern NamePattern(const std::string& fileName) {
    const std::string name = WithoutExtension(fileName);
    TNamePattern pattern;
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t end = NumberEnd(name, i);
        double value = 0;
        // A number beyond the range of a double stays text.
        if (end > i &&
            std::from_chars(name.data() + i, name.data() + end, value).ec == std::errc()) {
            pattern.Numbers.push_back(value);
            pattern.Texts.emplace_back();
        } else {
            pattern.Texts.back().append(name, i, std::max(end, i + 1) - i);
        }
        i = std::max(end, i + 1);
    }
    return pattern;
}

namespace {

std::string Trimmed(const std::string& text) {
    const char* separators = " _-+.,;=";
    const std::size_t first = text.find_first_not_of(separators);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(separators) - first + 1);
}

bool CaselessLess(const std::string& p, const std::string& q) {
    return std::lexicographical_compare(
        p.begin(), p.end(), q.begin(), q.end(),
        [](unsigned char c, unsigned char d) { return std::tolower(c) < std::tolower(d); });
}

bool CaselessEqual(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& p, const auto& q) {
        return !CaselessLess(p, q) && !CaselessLess(q, p);
    });
}

// The number of the patterns (of one pattern's texts) that makes the abscissa.
std::size_t AxisNumber(const std::vector<const TNamePattern*>& patterns) {
    const std::size_t count = patterns[0]->Numbers.size();
    for (std::size_t k = count; k-- > 0;)
        for (const TNamePattern* pattern : patterns)
            if (pattern->Numbers[k] != patterns[0]->Numbers[k])
                return k;
    return count - 1;
}

// Tabs and line ends of a message would break the table's rows.
std::string OnOneLine(std::string text) {
    for (char& c : text)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return text;
}

} // namespace

TSeriesAxis SeriesAxis(const std::vector<std::string>& fileNames) {
    std::vector<TNamePattern> patterns;
    for (const std::string& name : fileNames)
        patterns.push_back(NamePattern(name));
    TSeriesAxis axis;
    // The patterns in the order of their first names, and the pattern of each name.
    std::vector<std::vector<const TNamePattern*>> groups;
    std::vector<std::size_t> groupOf;
    bool numbered = true;
    for (const TNamePattern& pattern : patterns) {
        numbered = numbered && !pattern.Numbers.empty();
        std::size_t g = 0;
        while (g < groups.size() && !CaselessEqual(groups[g][0]->Texts, pattern.Texts))
            ++g;
        if (g == groups.size())
            groups.emplace_back();
        groups[g].push_back(&pattern);
        groupOf.push_back(g);
    }
    std::vector<std::size_t> number;
    if (numbered)
        for (const auto& group : groups) {
            number.push_back(AxisNumber(group));
            const std::vector<std::string>& texts = group[0]->Texts;
            TSeriesQuantity quantity{true, Trimmed(texts[number.back() + 1]), true};
            if (quantity.Caption.empty())
                quantity = {true, Trimmed(texts[number.back()]), false};
            axis.Quantities.push_back(quantity);
        }
    // Several patterns stand apart only by units of their own.
    if (axis.Quantities.size() > 1)
        for (std::size_t g = 0; g < axis.Quantities.size() && numbered; ++g) {
            const TSeriesQuantity& quantity = axis.Quantities[g];
            numbered = quantity.CaptionIsUnit;
            for (std::size_t h = 0; h < g && numbered; ++h)
                numbered = quantity.Caption != axis.Quantities[h].Caption;
        }
    if (!numbered || patterns.empty()) {
        axis.Quantities = {TSeriesQuantity{}};
        for (std::size_t i = 0; i < patterns.size(); ++i) {
            axis.X.push_back(static_cast<double>(i + 1));
            axis.Quantity.push_back(0);
        }
        return axis;
    }
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        axis.X.push_back(patterns[i].Numbers[number[groupOf[i]]]);
        axis.Quantity.push_back(groupOf[i]);
    }
    return axis;
}

std::vector<std::string> SeriesProblems(const std::vector<TSeriesEntry>& entries) {
    std::vector<std::string> lines;
    for (const TSeriesEntry& entry : entries) {
        for (const std::string& note : entry.Notes)
            lines.push_back(entry.File + ": " + note);
        if (!entry.Fitted)
            lines.push_back(entry.File + ", not fitted: " + entry.Problem);
        else
            for (const std::string& problem : entry.Row.Quality.Problems)
                lines.push_back(entry.File + ", flagged: " + problem);
        if (entry.Free)
            for (const TFreeLevel& level : entry.Free->Free.Levels)
                if (!level.Determined)
                    lines.push_back(entry.File + ", free fit: " + LevelName(level.Level + 1) +
                                    " not determined");
        if (entry.Excluded)
            lines.push_back(entry.File + ", excluded");
    }
    return lines;
}

bool NaturalLess(const std::string& a, const std::string& b) {
    return NaturalLess(NamePattern(a), NamePattern(b));
}

bool NaturalLess(const TNamePattern& x, const TNamePattern& y) {
    const auto caseless = CaselessLess;
    // Texts[0] Numbers[0] Texts[1] ...: the first part in which the two differ decides.
    for (std::size_t i = 0; i < std::min(x.Texts.size(), y.Texts.size()); ++i) {
        if (caseless(x.Texts[i], y.Texts[i]))
            return true;
        if (caseless(y.Texts[i], x.Texts[i]))
            return false;
        if (i < x.Numbers.size() && i < y.Numbers.size() && x.Numbers[i] != y.Numbers[i])
            return x.Numbers[i] < y.Numbers[i];
    }
    return x.Numbers.size() < y.Numbers.size();
}

std::string SeriesTableText(const std::vector<TSeriesEntry>& entries, const std::string& lineEnd) {
    std::vector<std::string> header = {"File",   "x",   "n_1/m-3",   "u(n_1)/m-3", "T/K",
                                       "u(T)/K", "RSS", "Procedure", "x from",     "x text"};
    const std::vector<std::string> conditions = ConditionColumns();
    header.insert(header.end(), conditions.begin(), conditions.end());
    std::size_t freeLevels = 0;
    bool free = false;
    for (const TSeriesEntry& entry : entries)
        if (entry.Free) {
            free = true;
            freeLevels = std::max(freeLevels, entry.Free->Free.Levels.size());
        }
    const auto levels = static_cast<std::int32_t>(freeLevels);
    std::int32_t quotedLevels = 0;
    for (const TSeriesEntry& entry : entries)
        if (entry.Fitted)
            quotedLevels = std::max(quotedLevels, entry.Row.Values.Densities.size());
    const std::vector<std::string> quoted = QuotedColumns(quotedLevels);
    header.insert(header.end(), quoted.begin(), quoted.end());
    if (free) {
        const std::vector<std::string> columns = FreeLevelsColumns(levels);
        header.insert(header.end(), columns.begin(), columns.end());
    }
    std::string text = TsvLine(header, lineEnd);
    for (const TSeriesEntry& entry : entries) {
        std::vector<std::string> fields = {entry.File, TsvNumber(entry.X)};
        const TRowAbscissa x{entry.X, entry.XFromNames, entry.XText};
        if (entry.Fitted) {
            const TResultValues& v = entry.Row.Values;
            for (const long double value : {v.Densities[0], v.Uncertainties[0], v.Temperature,
                                            v.TemperatureUncertainty, v.RSS})
                fields.push_back(TsvNumber(static_cast<double>(value)));
            fields.push_back((entry.Excluded ? "excluded: " : "") + v.Procedure);
        } else {
            fields.insert(fields.end(), 5, std::string());
            fields.push_back("not fitted: " + OnOneLine(entry.Problem));
        }
        fields.insert(fields.end(), {AbscissaOrigin(x), entry.XText});
        if (entry.Fitted) {
            for (const std::vector<std::string>& more :
                 {ConditionFields(entry.Row), QuotedFields(entry.Row, quotedLevels)})
                fields.insert(fields.end(), more.begin(), more.end());
        } else if (entry.Free) {
            fields.insert(fields.end(), conditions.size() + quoted.size(), std::string());
        }
        if (entry.Free) {
            const std::vector<std::string> more = FreeLevelsFields(*entry.Free, levels);
            fields.insert(fields.end(), more.begin(), more.end());
        }
        text += TsvLine(fields, lineEnd);
    }
    return text;
}

} // namespace zelt
