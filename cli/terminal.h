// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zeltfit-cli writes UTF-8. A terminal of a locale with another character set (de_DE.ISO-8859-1)
// would show "müller" as "mÃ¼ller": there the output is converted to the locale's set.

#include <memory>
#include <ostream>
#include <streambuf>

namespace zelt {

// While it lives, what `stream` gets is converted from UTF-8 to the character set of the
// environment's locale (LC_ALL, LC_CTYPE, LANG), characters the set lacks transliterated or "?".
// Nothing is converted for UTF-8, for plain ASCII (the C locale) and on Windows, whose console
// is switched to UTF-8.
class TTerminalEncoding {
public:
    explicit TTerminalEncoding(std::ostream& stream);
    ~TTerminalEncoding();
    TTerminalEncoding(const TTerminalEncoding&) = delete;
    TTerminalEncoding& operator=(const TTerminalEncoding&) = delete;

private:
    std::ostream& stream_;
    std::unique_ptr<std::streambuf> converter_;
    std::streambuf* previous_ = nullptr;
};

} // namespace zelt
