// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal.h"

#ifndef _WIN32
#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <string>
#endif

namespace zelt {

#ifndef _WIN32
namespace {

// Passes what it gets on to `target` in another character set (iconv); bytes that are no UTF-8
// (or have no counterpart) go as they are.
class TConvertingBuffer : public std::streambuf {
public:
    TConvertingBuffer(std::streambuf* target, iconv_t converter)
        : target_(target), converter_(converter) {}
    ~TConvertingBuffer() override {
        Convert(true);
        iconv_close(converter_);
    }
    TConvertingBuffer(const TConvertingBuffer&) = delete;
    TConvertingBuffer& operator=(const TConvertingBuffer&) = delete;

protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            pending_ += traits_type::to_char_type(c);
        return pending_.size() < kChunk || Convert(false) ? traits_type::not_eof(c)
                                                          : traits_type::eof();
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        return pending_.size() < kChunk || Convert(false) ? count : 0;
    }
    int sync() override { return Convert(false) && target_->pubsync() == 0 ? 0 : -1; }

private:
    static constexpr std::size_t kChunk = 4096;

    // Converts the pending bytes, all of them at the `end`, else up to a character whose bytes
    // have not all come yet; false when the target refuses them.
    bool Convert(bool end) {
        std::string out;
        char* in = pending_.data();
        std::size_t left = pending_.size();
        char chunk[kChunk];
        while (left > 0) {
            char* to = chunk;
            std::size_t room = sizeof chunk;
            const std::size_t done = iconv(converter_, &in, &left, &to, &room);
            out.append(chunk, static_cast<std::size_t>(to - chunk));
            if (done != static_cast<std::size_t>(-1) || errno == E2BIG)
                continue;
            if (errno == EINVAL && !end)
                break;
            out += *in++;
            --left;
        }
        pending_.erase(0, pending_.size() - left);
        return target_->sputn(out.data(), static_cast<std::streamsize>(out.size())) ==
               static_cast<std::streamsize>(out.size());
    }

    std::streambuf* target_;
    iconv_t converter_;
    std::string pending_;
};

// The character set of the environment's locale, without changing the process's locale (the
// numbers' "." must stay).
std::string LocaleCharacterSet() {
    const locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (locale == static_cast<locale_t>(nullptr))
        return {};
    const std::string set = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return set;
}

} // namespace
#endif

TTerminalEncoding::TTerminalEncoding(std::ostream& stream) : stream_(stream) {
#ifndef _WIN32
    const std::string set = LocaleCharacterSet();
    if (set.empty() || set == "UTF-8" || set == "ANSI_X3.4-1968")
        return;
    const iconv_t converter = iconv_open((set + "//TRANSLIT").c_str(), "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1))
        return;
    converter_ = std::make_unique<TConvertingBuffer>(stream.rdbuf(), converter);
    previous_ = stream.rdbuf(converter_.get());
#endif
}

TTerminalEncoding::~TTerminalEncoding() {
    if (!converter_)
        return;
    stream_.flush();
    stream_.rdbuf(previous_);
}

} // namespace zelt
