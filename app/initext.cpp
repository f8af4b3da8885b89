// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/initext.h"

#include "common/errors.h"

#include <algorithm>
#include <cctype>

namespace zelt {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

// [begin, end) without the blanks at both ends.
void Trim(const std::string& text, std::size_t& begin, std::size_t& end) {
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
}

} // namespace

TIniText::TIniText(std::string text) : text_(std::move(text)) {
    Parse();
}

void TIniText::Parse() {
    lines_.clear();
    // A UTF-8 signature before the first line is no part of it.
    std::size_t start = text_.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (start < text_.size()) {
        TLine line;
        const std::size_t feed = text_.find('\n', start);
        line.Next = feed == std::string::npos ? text_.size() : feed + 1;
        line.End = feed == std::string::npos ? text_.size() : feed;
        if (line.End > start && text_[line.End - 1] == '\r')
            --line.End;
        std::size_t begin = start, end = line.End;
        Trim(text_, begin, end);
        if (begin < end && text_[begin] == '[') {
            const std::size_t close = text_.find(']', begin);
            std::size_t nameBegin = begin + 1, nameEnd = close;
            if (close < end)
                Trim(text_, nameBegin, nameEnd);
            // "[Fe" or "[ ]" names no section: the keys after it stay in the section before.
            if (close < end && nameBegin < nameEnd) {
                line.Kind = TLine::Section;
                line.Name = text_.substr(nameBegin, nameEnd - nameBegin);
            }
        } else if (begin < end && text_[begin] != ';' && text_[begin] != '#') {
            const std::size_t equals = text_.find('=', begin);
            if (equals < end && equals > begin) {
                std::size_t keyEnd = equals;
                Trim(text_, begin, keyEnd);
                line.Kind = TLine::Key;
                line.Name = text_.substr(begin, keyEnd - begin);
                line.ValueBegin = equals + 1;
                line.ValueEnd = end;
                Trim(text_, line.ValueBegin, line.ValueEnd);
            }
        }
        lines_.push_back(std::move(line));
        start = lines_.back().Next;
    }
}

std::optional<std::size_t> TIniText::FindKey(const std::string& section,
                                             const std::string& key) const {
    bool inSection = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const TLine& line = lines_[i];
        if (line.Kind == TLine::Section)
            inSection = SameName(line.Name, section);
        else if (line.Kind == TLine::Key && inSection && SameName(line.Name, key))
            return i;
    }
    return std::nullopt;
}

std::optional<std::size_t> TIniText::InsertionLine(const std::string& section) const {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const TLine& line = lines_[i];
        if (line.Kind == TLine::Section) {
            if (found)
                break;
            if (SameName(line.Name, section))
                found = i;
        } else if (line.Kind == TLine::Key && found) {
            found = i;
        }
    }
    return found;
}

std::optional<std::string> TIniText::Value(const std::string& section,
                                           const std::string& key) const {
    const std::optional<std::size_t> at = FindKey(section, key);
    if (!at)
        return std::nullopt;
    const TLine& line = lines_[*at];
    return text_.substr(line.ValueBegin, line.ValueEnd - line.ValueBegin);
}

std::vector<std::string> TIniText::Sections() const {
    std::vector<std::string> names;
    for (const TLine& line : lines_)
        if (line.Kind == TLine::Section &&
            std::none_of(names.begin(), names.end(),
                         [&line](const std::string& name) { return SameName(name, line.Name); }))
            names.push_back(line.Name);
    return names;
}

std::string TIniText::LineEnd() const {
    const std::size_t feed = text_.find('\n');
    return feed != std::string::npos && feed > 0 && text_[feed - 1] != '\r' ? "\n" : "\r\n";
}

// Inserts whole lines at a line start; the line before gets a line end where it has none, and
// a last line that ends in a carriage return alone gets its line feed.
void TIniText::Insert(std::size_t at, const std::string& lines) {
    if (at == 0 || text_[at - 1] == '\n')
        text_.insert(at, lines);
    else if (text_[at - 1] == '\r')
        text_.insert(at, "\n" + lines);
    else
        text_.insert(at, LineEnd() + lines);
}

void TIniText::SetValue(const std::string& section, const std::string& key,
                        const std::string& value) {
    if (value.find_first_of("\r\n") != std::string::npos)
        throw Exception("The value of " + key + " in [" + section + "] holds a line end");
    const std::string eol = LineEnd();
    if (const std::optional<std::size_t> at = FindKey(section, key)) {
        const TLine& line = lines_[*at];
        text_.replace(line.ValueBegin, line.ValueEnd - line.ValueBegin, value);
    } else if (const std::optional<std::size_t> after = InsertionLine(section)) {
        Insert(lines_[*after].Next, key + "=" + value + eol);
    } else {
        Insert(text_.size(), "[" + section + "]" + eol + key + "=" + value + eol);
    }
    Parse();
}

} // namespace zelt
