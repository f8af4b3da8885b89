// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of an INI file, read and edited the way the Windows profile-file service does: a
// write changes the bytes of one value and nothing else, so comments, blank lines, the order of
// keys and the line ends stay as the user left them.
//
// Lines are "[section]" (a name of at least one character), "key=value", comments beginning
// with ";" or "#", and anything else, which is ignored. Names are trimmed of blanks and compared
// without regard to case; values are trimmed and taken as they stand. The first key of a name wins,
// also across sections of the same name; keys before the first section belong to none.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace zelt {

class TIniText {
public:
    explicit TIniText(std::string text = {});

    const std::string& Text() const { return text_; }

    std::optional<std::string> Value(const std::string& section, const std::string& key) const;
    // Section names in file order, each name once.
    std::vector<std::string> Sections() const;

    // Replaces the value of the key in place. A missing key is added after the last key of its
    // section, a missing section at the end of the text; added lines end like the file's first
    // line. A value holding a line end raises Exception: it would break the file into lines.
    void SetValue(const std::string& section, const std::string& key, const std::string& value);

private:
    struct TLine {
        enum TKind { Other, Section, Key } Kind = Other;
        std::string Name;
        std::size_t End = 0;                      // end of the line's text, before its line end
        std::size_t Next = 0;                     // start of the next line
        std::size_t ValueBegin = 0, ValueEnd = 0; // the trimmed value of a key
    };

    void Parse();
    // The first line of the key in a section of that name.
    std::optional<std::size_t> FindKey(const std::string& section, const std::string& key) const;
    // The last key line of the first section of that name, or its header when it has none.
    std::optional<std::size_t> InsertionLine(const std::string& section) const;
    std::string LineEnd() const;
    void Insert(std::size_t at, const std::string& lines);

    std::string text_;
    std::vector<TLine> lines_;
};

} // namespace zelt
