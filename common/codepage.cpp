// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/codepage.h"

namespace zelt {

namespace {

// Code points of the bytes 0x80 to 0x9F; the five bytes Windows-1252 leaves undefined keep
// their Latin-1 control code points so that every byte survives a round trip.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

char ToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == cp)
            return static_cast<char>(0x80 + i);
    return '?';
}

// The length of the well-formed UTF-8 sequence at text[i] (no overlong forms, no surrogates), or
// 0 when none begins there.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const std::size_t length = byte < 0x80                    ? 1
                               : byte >= 0xC2 && byte <= 0xDF ? 2
                               : byte >= 0xE0 && byte <= 0xEF ? 3
                               : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || i + length > text.size())
        return 0;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return 0;
    const auto second = static_cast<unsigned char>(length > 1 ? text[i + 1] : 0);
    if ((byte == 0xE0 && second < 0xA0) || (byte == 0xED && second > 0x9F) ||
        (byte == 0xF0 && second < 0x90) || (byte == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

void AppendCp1252(std::string& out, char c) {
    const auto byte = static_cast<unsigned char>(c);
    AppendUtf8(out, byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte);
}

} // namespace

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text)
        AppendCp1252(out, c);
    return out;
}

std::string MixedToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = Utf8SequenceAt(text, i);
        if (length == 0)
            AppendCp1252(out, text[i++]);
        else
            for (const std::size_t end = i + length; i < end; ++i)
                out += text[i];
    }
    return out;
}

std::string Utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int length = lead < 0x80         ? 1
                     : (lead >> 5) == 6  ? 2
                     : (lead >> 4) == 14 ? 3
                     : (lead >> 3) == 30 ? 4
                                         : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
            out += '?';
            ++i;
            continue;
        }
        char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = true;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
            valid = valid && (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        out += ToCp1252(cp);
        i += static_cast<std::size_t>(length);
    }
    return out;
}

} // namespace zelt
